// Names from a BBS's user record: decoded from UTF-8 or code page 437, and folded to ASCII.
#include "text/names.h"

#include <gtest/gtest.h>

#include <string>

namespace text {
namespace {

TEST(NameAsUtf8, DecodesEitherCharsetAndDropsControls) {
  const struct {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"Joe Smith", "Joe Smith"},
      {"Bj\xC3\xB6rn", "Bj\xC3\xB6rn"},        // UTF-8 stays
      {"Bj\x94rn", "Bj\xC3\xB6rn"},            // code page 437 ö
      {"\x94 \xC3\xB6", "\xC3\xB6 \xC3\xB6"},  // both in one name
      {"Joe\x07\x01 \x1B[2J\x7F", "Joe [2J"},  // C0 and DEL
      {"a\xC2\x85"
       "b",
       "ab"},  // a C1 control in UTF-8
      {"a\xE2\x80\x8B"
       "b\xE2\x80\xAE",
       "ab"},                // zero-width space, right-to-left override
      {"\xFF", "\xC2\xA0"},  // code page 437's no-break space
  };
  for (const auto& c : cases) EXPECT_EQ(NameAsUtf8(c.bytes), c.utf8) << c.bytes;
}

TEST(FoldToAscii, AccentsGoAndWhatHasNoFormIsLeftOut) {
  EXPECT_EQ(FoldToAscii("Bj\xC3\xB6rn \xC3\x86ther Stra\xC3\x9F"
                        "e"),
            "Bjorn Ather Strase");
  EXPECT_EQ(FoldToAscii("\xEF\xBC\xA1\xC2\xA0\xE2\x80\x9Cq\xE2\x80\x9D"), "A \"q\"");
  EXPECT_EQ(FoldToAscii("\xE5\xBC\xA0x\xCE\xA3y\xE2\x96\x88"), "xy");
}

}  // namespace
}  // namespace text
