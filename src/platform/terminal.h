// The sysop's terminal: shows the local console on the terminal the door was started from and
// feeds the sysop's keys into it.
#pragma once

#include <memory>

#include "platform/console.h"

namespace platform {

class Terminal {
 public:
  virtual ~Terminal() = default;
  // Descriptor to wait on for local keys.
  virtual int KeyFd() const = 0;
  // Zero-time (apart from the short wait that tells a lone Esc from an Alt combination): moves
  // every key waiting into the console's key queue.
  virtual void PumpKeys(Console& console) = 0;
  // Draws the console's changed rows and its cursor, then refreshes the screen once. Does nothing
  // when nothing changed.
  virtual void Present(Console& console) = 0;
  virtual void Beep() = 0;
};

// A curses terminal on standard input and output when both are terminals; otherwise (or when one
// is already open, or the terminal type is unknown) nullptr, having written nothing to standard
// output: on some boards it carries the caller or a log. The terminal is restored when the object
// goes, at exit, and on a crash signal.
std::unique_ptr<Terminal> OpenTerminal();

}  // namespace platform
