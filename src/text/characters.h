// Characters as the door's screen shows them: the code page 437 byte for a Unicode character, a
// close stand-in where code page 437 has none, the characters that take no column, and Windows-1252
// for bytes that are not UTF-8.
#pragma once

#include <array>
#include <cstdint>

namespace text {

// The code page 437 byte that shows cp as text: 0x20-0x7E or 0x80-0xFE, never a control byte,
// 0x7F or 0xFF (U+00A0 is a plain space); -1 when code page 437 has no such character.
int Cp437ByteFor(char32_t cp);

// A stand-in for a character code page 437 lacks, as a code page 437 byte: the letter without its
// accent, a plain quote for a curly one, the ASCII letter for a full-width one, '?' for the rest;
// 0 for a character that takes no column (a combining accent), which is then left out.
uint8_t FallbackFor(char32_t cp);

// Characters that must not reach any terminal, even one that could show them: the invisible
// formatting characters (bidirectional overrides, zero-width spaces and joiners, byte-order
// marks, tags), which could reorder or hide what a caller reads.
bool IsHiddenFormatting(char32_t cp);

// The Unicode character of a Windows-1252 byte; for the five bytes Windows-1252 leaves undefined,
// the C1 control of the same number.
char32_t Windows1252ToUnicode(uint8_t b);

// How the door's screen shows one character.
enum class ShownKind : uint8_t {
  kByte,     // as its code page 437 byte
  kCaret,    // a control character: in caret form
  kNothing,  // invisible formatting: left out everywhere
  kLacking,  // code page 437 lacks it: carried as UTF-8 for a caller that can show it, otherwise
             // `byte`, its stand-in, is shown (0: left out)
};
struct ShownForm {
  ShownKind kind;
  uint8_t byte;
};
// The same answers as IsControl, IsHiddenFormatting, Cp437ByteFor and FallbackFor together, from
// a table for the ranges text mostly uses (U+0000-U+07FF, U+2000-U+27FF), built once.
class ShownFormTable {
 public:
  ShownFormTable();
  ShownForm Find(char32_t cp) const {
    if (cp < kLowEnd) return low_[cp];
    if (cp >= kSymbolStart && cp < kSymbolEnd) return symbols_[cp - kSymbolStart];
    return FindOutside(cp);
  }

 private:
  static constexpr char32_t kLowEnd = 0x800;
  static constexpr char32_t kSymbolStart = 0x2000;
  static constexpr char32_t kSymbolEnd = 0x2800;
  static ShownForm FindOutside(char32_t cp);

  std::array<ShownForm, kLowEnd> low_{};
  std::array<ShownForm, kSymbolEnd - kSymbolStart> symbols_{};
};
const ShownFormTable& ShownForms();
ShownForm ShownFormFor(char32_t cp);

// The columns a UTF-8 terminal gives a character: 2 for the wide ones (East Asian wide and
// full-width characters, emoji), 0 for combining marks and the invisible formatting characters,
// 1 for the rest. Controls are never shown as they are and have no width here (0).
int ColumnWidth(char32_t cp);

// A hex digit's value (either case); -1 for any other byte.
constexpr int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Control characters: C0, DEL and C1.
constexpr bool IsControl(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
}

}  // namespace text
