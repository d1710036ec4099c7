// The local ANSI interpreter: draws the bytes sent to the caller on the local console so the sysop
// sees what the caller sees. It keeps its state between calls, so a sequence split across two
// writes is still recognised.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace platform {
class Console;
}

namespace ansi {

class LocalAnsi {
 public:
  static constexpr int kMaxParams = 8;

  explicit LocalAnsi(platform::Console& console);

  void LocalAnsiWrite(std::string_view text);

  // The attribute in which the console writes and clears; changed by colour sequences.
  uint8_t ConsoleAttr() const;
  void SetConsoleAttr(uint8_t attr);

 private:
  // The length of the door's own colour sequence at the start of text ("\e[0;3Xm", "\e[1;3Xm" or
  // "\e[4Xm"), which it has drawn; 0 for anything else.
  size_t SetColourAt(std::string_view text);
  void Execute(char final_byte);
  void SelectGraphicRendition();
  void Step(int dcol, int drow, int count);

  platform::Console& console_;
  enum class State {
    kText,      // bytes are drawn
    kEscape,    // after ESC, waiting for "["
    kSequence,  // after ESC [, reading parameters up to the final byte
  };
  State state_ = State::kText;
  // The parameters, parsed as they arrive: digits accumulate into the current field, ';' moves to
  // the next; a field that saw no digits stays -1; fields past the eighth are dropped.
  int params_[kMaxParams];
  int field_ = 0;
  bool field_has_digits_ = false;
  int saved_column_ = 1;
  int saved_row_ = 1;
};

}  // namespace ansi
