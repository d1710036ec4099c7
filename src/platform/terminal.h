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
  // Draws the console's changed rows and its cursor, then refreshes the screen once; rings the
  // terminal's bell once when the console has rung its own since the last call. Does nothing else
  // when nothing changed. A terminal with fewer than 25 rows shows the console's bottom rows (the
  // status line stays on its last row), one with fewer than 80 columns the left part; a resize
  // redraws everything.
  virtual void Present(Console& console) = 0;
  virtual void Beep() = 0;
};

// A curses terminal on standard input and output when both are terminals; otherwise (or when one
// is already open, or the terminal type is unknown) nullptr, having written nothing to standard
// output: on some boards it carries the caller or a log. The terminal is restored when the object
// goes, at exit, and on a crash signal; when the object goes, the last screen is then written again
// as text on the terminal's normal screen, so that it stays there after the door has ended.
std::unique_ptr<Terminal> OpenTerminal();

}  // namespace platform
