// The local ANSI interpreter: draws the bytes sent to the caller on the local console so the sysop
// sees what the caller sees. It keeps its state between calls, so a sequence split across two
// writes is still recognised.
#pragma once

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
  void Execute(char final_byte);
  void ParseParams();
  void SelectGraphicRendition();
  void Step(int dcol, int drow, int count);

  platform::Console& console_;
  bool got_escape_ = false;
  bool got_bracket_ = false;
  // ParamText, kept as the parsed fields as they arrive: digits accumulate into the current field,
  // ';' moves to the next; fields past the eighth are counted but not stored.
  int params_[kMaxParams];
  int field_ = 0;
  bool field_has_digits_ = false;
  int saved_column_ = 1;
  int saved_row_ = 1;
};

}  // namespace ansi
