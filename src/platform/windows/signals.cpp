// Closing the console window, logging off and shutting down (the BBS or Windows taking the node
// down) only set a flag and an event that the next wait turns into an orderly ending.
#include "platform/signals.h"

#include <atomic>

#include "platform/windows/wait_handles.h"

namespace platform {
namespace {

std::atomic<bool> g_termination{false};  // written by the console control handler's thread

BOOL WINAPI OnConsoleControl(DWORD type) {
  switch (type) {
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
    case CTRL_BREAK_EVENT:
      g_termination = true;
      SetEvent(windows::TerminationEvent());
      if (type != CTRL_BREAK_EVENT) {
        // Windows ends the process when this handler returns: give the door the time it needs to
        // say goodbye to the IRC server; it exits on its own well before this.
        Sleep(5000);
      }
      return TRUE;
    default:
      return FALSE;  // Ctrl-C reaches the door as a key while the console is in raw mode
  }
}

}  // namespace

namespace windows {

HANDLE TerminationEvent() {
  static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return event;
}

}  // namespace windows

void InstallSignalHandlers() {
  windows::TerminationEvent();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool TerminationSignalled() {
  return g_termination;
}

}  // namespace platform
