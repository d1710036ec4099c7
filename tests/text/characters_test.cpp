// The per-character lookup the shown text uses, against the character functions it stands for.
#include "text/characters.h"

#include <gtest/gtest.h>

namespace text {
namespace {

ShownForm Expected(char32_t cp) {
  if (IsControl(cp)) return {ShownKind::kCaret, 0};
  if (IsHiddenFormatting(cp)) return {ShownKind::kNothing, 0};
  if (const int b = Cp437ByteFor(cp); b >= 0) return {ShownKind::kByte, static_cast<uint8_t>(b)};
  return {ShownKind::kLacking, FallbackFor(cp)};
}

TEST(ShownForm, AgreesWithTheCharacterFunctionsForEveryCodePoint) {
  int differences = 0;
  for (char32_t cp = 0; cp <= 0x10FFFF && differences < 10; ++cp) {
    const ShownForm got = ShownFormFor(cp);
    const ShownForm want = Expected(cp);
    if (got.kind != want.kind || got.byte != want.byte) {
      ++differences;
      ADD_FAILURE() << "U+" << std::hex << static_cast<uint32_t>(cp);
    }
  }
}

TEST(ColumnWidth, WideNarrowAndZero) {
  const struct {
    char32_t cp;
    int columns;
  } cases[] = {
      {U'a', 1},    {0xE9, 1},       {0x2500, 1}, {0x20AC, 1},       {0x0301, 0},   {0x200B, 0},
      {0xAD, 0},    {0x1B, 0},       {0x9B, 0},   {0x1100, 2},       {0x4F60, 2},   {0x3000, 2},
      {0xAC00, 2},  {0xFF21, 2},     {0x26A1, 2}, {0x1F600, 2},      {0x1F9FF, 2},  {0x20000, 2},
      {0x3FFFD, 2}, {0x115F + 1, 1}, {0xFF61, 1}, {0x1F641 + 15, 1}, {0x10FFFF, 1},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ColumnWidth(c.cp), c.columns) << std::hex << static_cast<uint32_t>(c.cp);
}

}  // namespace
}  // namespace text
