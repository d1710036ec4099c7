// Turns what curses reads from the sysop's keyboard into the console's key bytes: ordinary keys as
// their byte, extended keys as NUL followed by the PC scan code.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class KeyDecoder {
 public:
  // A character read: a Unicode code point (a plain byte when the locale is not UTF-8). Returns
  // the key bytes ready so far; an Esc is held back to see whether it starts an Alt combination.
  std::string Char(uint32_t c);
  // A curses function-key code (KEY_UP, KEY_F(1), ...). Codes without a PC key give nothing.
  std::string KeyCode(int code);
  // Nothing more is waiting: a held-back Esc was a key of its own.
  std::string Flush();

 private:
  std::string TakePendingEsc();

  bool esc_pending_ = false;
};

}  // namespace platform
