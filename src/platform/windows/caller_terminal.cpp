// A Windows BBS never hands its doors a terminal: there is no raw mode to switch to.
#include "platform/caller_terminal.h"

namespace platform {

std::unique_ptr<CallerTerminalMode> MakeCallerTerminalRaw(int) {
  return nullptr;
}

}  // namespace platform
