// Signals: SIGTERM, SIGHUP and SIGINT (the BBS taking the node down) only set a flag that the next wait
// turns into an orderly ending; SIGPIPE is ignored so that a send to a vanished peer just fails.
#pragma once

#include <span>

namespace platform {

void InstallSignalHandlers();
// Every other signal whose default action ends the program and that can be caught (crashes, the
// user signals, timers, SIGXCPU from a BBS's CPU limit, the real-time signals): whoever changes a
// terminal's modes puts them back from a handler for each of these before the signal takes effect.
std::span<const int> FatalSignals();

// A termination signal has arrived. Read only by the system clock, which reports it to the door.
bool TerminationSignalled();

}  // namespace platform
