// Builders of the ANSI control sequences sent to the caller. Pure functions, except
// AnsiCursorToColumn, which reads the local console's cursor column.
#pragma once

#include <cstdint>
#include <string>

namespace platform {
class Console;
}

namespace ansi {

// PC colour number 0-7 to ANSI colour number; the table is its own inverse.
inline constexpr uint8_t kColourMap[8] = {0, 4, 2, 6, 1, 5, 3, 7};

std::string AnsiClearScreen();
std::string AnsiCursorLeft(int count);
std::string AnsiCursorRight(int count);
// 0-7 reset attributes first ("\e[0;3Xm"), 8-15 add bold ("\e[1;3Xm"); above 15 gives "".
std::string AnsiForeground(int colour);
// 0-7 only; a larger value uses its low three bits.
std::string AnsiBackground(int colour);
std::string AnsiAttr(uint8_t attr);
// Relative move from the local cursor column (within the window) to column; "" when already there.
std::string AnsiCursorToColumn(const platform::Console& console, int column);

}  // namespace ansi
