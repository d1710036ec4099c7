// Code page 437, the PC character set of every displayed text, and the Unicode glyphs that show
// it on a modern terminal.
#pragma once

#include <cstdint>

namespace platform {

// The glyph the PC shows for a byte, including the symbols of the control range (0x01 is U+263A)
// and 0x7F (U+2302). 0x00 shows as a blank.
char32_t Cp437ToUnicode(uint8_t b);

// The byte whose glyph is c (a few look-alike code points are accepted too); -1 when none.
int UnicodeToCp437(char32_t c);

// A plain ASCII stand-in for a byte, for a terminal that cannot show its glyph.
char Cp437AsciiFallback(uint8_t b);

}  // namespace platform
