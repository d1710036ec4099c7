// Texts joined from colour names at compile time: the same bytes as the texts written with the
// codes inline, a piece never running into the next (a hex escape before a hex digit, a colour
// digit before text), and the status marker every status line opens with.
#include "text/colour_codes.h"

#include <gtest/gtest.h>

#include <string_view>

namespace text::colour {
namespace {

TEST(ColourJoined, SameBytesAsTheCodesWrittenInline) {
  const struct {
    std::string_view joined;
    std::string_view inline_codes;
  } cases[] = {
      {Joined<kDarkGrey, "| ", kWhite, "a", kGrey, "way     : {3} - {T4}">,
       "\1778| \177Fa\1777way     : {3} - {T4}"},
      {Joined<"{T0}\nmode", kDarkGrey, "/", kCyan, "{3} ", kDarkGrey, "[", kWhite, "{4}", kDarkGrey, "]">,
       "{T0}\nmode\1778/\1773{3} \1778[\177F{4}\1778]"},
      {Joined<kLightGreen, "\u2502 ", kWhite, "i", kGrey, "rcname  : {T7}">,
       "\177A\u2502 \177Fi\1777rcname  : {T7}"},
      // A hex escape ends its piece: "\xED" and the "C" of the next colour stay two bytes.
      {Joined<"\xED", kLightRed, "C">, std::string_view("\xED\177"
                                                        "CC",
                                                        4)},
      {Joined<kBlue, kGreen, kCyan, kRed, kMagenta, kGrey, kDarkGrey, kLightBlue, kLightGreen, kLightCyan,
              kLightRed, kLightMagenta, kYellow, kWhite>,
       "\1771\1772\1773\1774\1775\1777\1778\1779\177A\177B\177C\177D\177E\177F"},
      {Joined<"plain">, "plain"},
      {Joined<>, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.joined, c.inline_codes);
}

TEST(ColourJoined, StatusMarkerIsTheThreeGlyphsThenAGreyBlank) {
  EXPECT_EQ(kStatusMarker, std::string_view("\177C\xF9\177F\xED\177C\xF9\1777 "));
  EXPECT_EQ(kStatusMarker.size(), 12u);  // four codes, three glyphs, the blank
}

}  // namespace
}  // namespace text::colour
