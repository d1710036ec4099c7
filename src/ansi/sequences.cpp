#include "ansi/sequences.h"

#include "platform/console.h"

namespace ansi {

// Clears the screen and homes the cursor: BBS terminals home it on the clear alone, VT100-type
// terminals do not.
std::string AnsiClearScreen() {
  return "\x1b[2J\x1b[H";
}

std::string AnsiCursorLeft(int count) {
  return "\x1b[" + std::to_string(count) + "D";
}

std::string AnsiCursorRight(int count) {
  return "\x1b[" + std::to_string(count) + "C";
}

std::string AnsiForeground(int colour) {
  if (colour < 0 || colour > 15) return "";
  const char* prefix = colour < 8 ? "\x1b[0;" : "\x1b[1;";
  return prefix + std::to_string(30 + kColourMap[colour & 7]) + "m";
}

std::string AnsiBackground(int colour) {
  return "\x1b[" + std::to_string(40 + kColourMap[colour & 7]) + "m";
}

std::string AnsiAttr(uint8_t attr) {
  return AnsiForeground(attr & 0x0F) + AnsiBackground((attr >> 4) & 0x0F);
}

std::string AnsiCursorToColumn(const platform::Console& console, int column) {
  const int current = console.WhereX();
  if (current > column) return AnsiCursorLeft(current - column);
  if (current < column) return AnsiCursorRight(column - current);
  return "";
}

}  // namespace ansi
