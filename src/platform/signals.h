// Signals: SIGTERM and SIGHUP (the BBS taking the node down) only set a flag that the next wait
// turns into an orderly ending; SIGPIPE is ignored so that a send to a vanished peer just fails.
#pragma once

namespace platform {

void InstallSignalHandlers();
bool TerminationRequested();

}  // namespace platform
