#include "door/text_helpers.h"

#include <gtest/gtest.h>

#include "door/durations.h"

namespace door {
namespace {

TEST(TextHelpers, Padding) {
  EXPECT_EQ(PadLeft("123", '0', 2), "12");  // a longer text is cut at the right
  EXPECT_EQ(PadLeft("7", '0', 2), "07");
  EXPECT_EQ(PadLeft("", ' ', 3), "   ");
  EXPECT_EQ(PadRight("abc", '.', 5), "abc..");
  EXPECT_EQ(PadRight("abcdef", ' ', 4), "abcd");
  EXPECT_EQ(PadRight("abc", ' ', 0), "");
  EXPECT_EQ(PadLeft("abc", ' ', -1), "");
  std::string right = AlignRight80("TIME: 00:00:05 ");
  ASSERT_EQ(right.size(), 80u);
  EXPECT_EQ(right.substr(65), "TIME: 00:00:05 ");
  EXPECT_EQ(right.find_first_not_of(' '), 65u);
}

TEST(TextHelpers, Formats) {
  EXPECT_EQ(FormatMS(75), "01:15");
  EXPECT_EQ(FormatMS(0), "00:00");
  EXPECT_EQ(FormatMS(6000), "10:00");  // 100 minutes: only the first two digits show
  EXPECT_EQ(FormatHMS(3600), "01:00:00");
  EXPECT_EQ(FormatHMS(86400), "24:00:00");  // hours are not reduced modulo 24
  EXPECT_EQ(FormatHMS(3725), "01:02:05");
  EXPECT_EQ(DurationText(3661), "1h 1m 1s");
  EXPECT_EQ(DurationText(86400), "1d");
  EXPECT_EQ(DurationText(0), "");
  EXPECT_EQ(DurationText(90061), "1d 1h 1m 1s");
  EXPECT_EQ(DurationText(120), "2m");
  EXPECT_EQ(DurationText(-5), "");
}

TEST(TextHelpers, ElapsedTimesWrapOnceAtMidnight) {
  EXPECT_EQ(SecondsSince(100, 160), 60);
  EXPECT_EQ(SecondsSince(86'390, 5), 15);
  EXPECT_EQ(SecondsSince(5, 5), 0);
  EXPECT_EQ(MsSince(86'399'500, 250), 750);
  EXPECT_EQ(MsSince(-1000, 0), 1000);  // a tick set back before midnight at start-up
}

TEST(TextHelpers, ReplaceAll) {
  EXPECT_EQ(ReplaceAll("John Q Public", " ", "_"), "John_Q_Public");
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAll("abc", "x", "y"), "abc");
  EXPECT_EQ(ReplaceAll("", " ", "_"), "");
  EXPECT_EQ(ReplaceAll("a b", "", "_"), "a b");
  EXPECT_EQ(ReplaceAll("a  b ", " ", ""), "ab");
  // Replacing "ab" by "bbaa" over and over from the start would never end.
  EXPECT_EQ(ReplaceAll("aab", "ab", "bbaa"), "abbaa");
  // Long input stays fast (one pass).
  std::string big(1'000'000, ' ');
  EXPECT_EQ(ReplaceAll(big, " ", "_"), std::string(1'000'000, '_'));
}

}  // namespace
}  // namespace door
