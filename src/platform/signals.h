// Signals: SIGTERM, SIGHUP and SIGINT (the BBS taking the node down) only set a flag that the next wait
// turns into an orderly ending; SIGPIPE is ignored so that a send to a vanished peer just fails.
#pragma once

namespace platform {

void InstallSignalHandlers();
// A termination signal has arrived. Read only by the system clock, which reports it to the door.
bool TerminationSignalled();

}  // namespace platform
