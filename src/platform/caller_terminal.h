// A caller that is a terminal (the BBS relays a pseudo-terminal to the caller, often left in its
// cooked line mode): raw mode for the length of the visit, so that every key arrives at once,
// nothing is echoed but what the door sends, and CR and LF pass untranslated.
#pragma once

#include <memory>

namespace platform {

class CallerTerminalMode {
 public:
  virtual ~CallerTerminalMode() = default;  // puts the terminal back as it was
};

// Switches fd to raw mode when it is a terminal and returns the object that restores it; nullptr
// (nothing changed) when fd is not a terminal. The modes are also restored at exit and on a
// crash, interrupt or any other fatal signal (all but SIGKILL); SIGTERM and SIGHUP end the program
// in order, through the destructor.
std::unique_ptr<CallerTerminalMode> MakeCallerTerminalRaw(int fd);

}  // namespace platform
