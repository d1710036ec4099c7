#include "irc/session/send_pacer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace irc {
namespace {

std::vector<std::string> TakeAll(SendPacer& pacer, int64_t now) {
  std::vector<std::string> out;
  std::string line;
  while (pacer.TakeDue(now, &line)) out.push_back(line);
  return out;
}

TEST(SendPacerTest, FiveAtOnceThenOneEveryTwoSecondsInOrder) {
  SendPacer pacer;
  constexpr int64_t t0 = 10'000'000;
  EXPECT_EQ(pacer.MsUntilDue(t0), -1);  // nothing queued: no wake-up
  for (int i = 0; i < 20; ++i) EXPECT_TRUE(pacer.Push("line " + std::to_string(i), t0));
  EXPECT_EQ(pacer.MsUntilDue(t0), 0);
  EXPECT_EQ(TakeAll(pacer, t0), (std::vector<std::string>{"line 0", "line 1", "line 2", "line 3", "line 4"}));
  EXPECT_EQ(pacer.MsUntilDue(t0), 2000);
  EXPECT_EQ(TakeAll(pacer, t0 + 1999), std::vector<std::string>{});
  EXPECT_EQ(pacer.MsUntilDue(t0 + 1999), 1);
  EXPECT_EQ(TakeAll(pacer, t0 + 2000), std::vector<std::string>{"line 5"});
  EXPECT_EQ(TakeAll(pacer, t0 + 4000), std::vector<std::string>{"line 6"});
  // A late look sends what the time that passed allows, no more than a burst.
  EXPECT_EQ(TakeAll(pacer, t0 + 9000).size(), 2u);
  EXPECT_EQ(TakeAll(pacer, t0 + 60'000).size(), 5u);
  std::string line;
  for (int64_t t = t0 + 62'000; pacer.queued() > 0; t += 2000) {
    ASSERT_TRUE(pacer.TakeDue(t, &line));
    EXPECT_FALSE(pacer.TakeDue(t, &line));
  }
  EXPECT_EQ(line, "line 19");
  EXPECT_EQ(pacer.MsUntilDue(t0 + 200'000), -1);
}

TEST(SendPacerTest, QuietTimeEarnsTheBurstBack) {
  SendPacer pacer;
  for (int i = 0; i < 12; ++i) pacer.Push("x", 0);
  EXPECT_EQ(TakeAll(pacer, 0).size(), 5u);
  EXPECT_EQ(TakeAll(pacer, 4000).size(), 2u);    // two intervals earn two lines
  EXPECT_EQ(TakeAll(pacer, 18'000).size(), 5u);  // a full rest earns the whole burst, not more
}

TEST(SendPacerTest, MidnightIsNotAPause) {
  SendPacer pacer;
  constexpr int64_t kLastSecond = 86'399'000;
  for (int i = 0; i < 7; ++i) pacer.Push("x", kLastSecond);
  EXPECT_EQ(TakeAll(pacer, kLastSecond).size(), 5u);
  EXPECT_EQ(pacer.MsUntilDue(500), 500);  // 1.5 s after, across midnight
  EXPECT_EQ(TakeAll(pacer, 1000).size(), 1u);
}

TEST(SendPacerTest, FullQueueDropsAndCountsWhatItDropped) {
  SendPacer pacer;
  for (size_t i = 0; i < SendPacer::kMaxQueued; ++i) ASSERT_TRUE(pacer.Push("x", 0));
  EXPECT_FALSE(pacer.Push("y", 0));
  EXPECT_FALSE(pacer.Push("y", 0));
  EXPECT_FALSE(pacer.Admit(3));  // a message of three lines: dropped whole
  EXPECT_EQ(pacer.queued(), SendPacer::kMaxQueued);
  EXPECT_EQ(pacer.TakeDropped(), 5u);
  EXPECT_EQ(pacer.TakeDropped(), 0u);
  std::string line;
  ASSERT_TRUE(pacer.TakeDue(0, &line));
  EXPECT_FALSE(pacer.Admit(2));
  EXPECT_TRUE(pacer.Admit(1));
  EXPECT_TRUE(pacer.Push("z", 0));
  EXPECT_FALSE(pacer.Push("y", 0));
  pacer.Reset();  // a new connection: the count is still to be told
  EXPECT_EQ(pacer.TakeDropped(), 3u);
  EXPECT_FALSE(pacer.Admit(SendPacer::kMaxQueued + 1));
  EXPECT_TRUE(pacer.Admit(SendPacer::kMaxQueued));
}

TEST(SendPacerTest, ResetForgetsLinesAndPace) {
  SendPacer pacer;
  for (int i = 0; i < 8; ++i) pacer.Push("old", 0);
  TakeAll(pacer, 0);
  pacer.Reset();
  EXPECT_EQ(pacer.MsUntilDue(1), -1);
  for (int i = 0; i < 5; ++i) pacer.Push("new", 1);
  EXPECT_EQ(TakeAll(pacer, 1), std::vector<std::string>(5, "new"));
}

}  // namespace
}  // namespace irc
