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

}  // namespace
}  // namespace text
