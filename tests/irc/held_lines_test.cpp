// Lines held back during the sysop chat: in order, within their bound, the oldest given up first.
#include "irc/client/held_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace irc {
namespace {

TEST(HeldLines, KeepsTheNewestWithinTheBoundAndCountsTheRest) {
  HeldLines held;
  EXPECT_TRUE(held.empty());
  const std::string big(HeldLines::kMaxBytes / 3, 'x');
  for (const char* tag : {"1", "2", "3", "4"}) held.Hold(tag, big);
  held.Hold("5", "last");
  EXPECT_FALSE(held.empty());
  const auto lines = held.Take();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].shown, "3");
  EXPECT_EQ(lines[2].shown, "5");
  EXPECT_EQ(lines[2].irc, "last");
  EXPECT_EQ(held.TakeDropped(), 2u);
  EXPECT_TRUE(held.empty());

  // One line longer than the whole bound is cut, never split inside a character.
  held.Hold("", std::string(HeldLines::kMaxBytes / 2 - 1, 'y') + "\xC3\xA9" +
                    std::string(HeldLines::kMaxBytes, 'z'));
  const auto cut = held.Take();
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].irc.size(), HeldLines::kMaxBytes / 2 - 1);
}

}  // namespace
}  // namespace irc
