// The link's life cycle on its own: the back-off between reconnect attempts, its jitter, when a
// series starts afresh and when it gives up; the notes a reconnect restores.
#include "irc/session/session_state.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "irc/session/session_resume.h"

namespace irc {
namespace {

constexpr int64_t kStart = 1'000'000;

// A registered link, lost at `now`.
SessionState::Next LoseRegisteredLink(SessionState& session, int64_t opened, int64_t now) {
  session.Connect();
  session.Opened(opened);
  session.Welcomed(opened);
  return session.Lost(now, true);
}

TEST(SessionStateTest, ConnectRegisterAndTheCallerLeaving) {
  SessionState session(1);
  EXPECT_EQ(session.state(), LinkState::kDisconnected);
  session.Connect();
  EXPECT_EQ(session.state(), LinkState::kConnecting);
  EXPECT_FALSE(session.linked());
  session.Opened(kStart);
  EXPECT_EQ(session.state(), LinkState::kRegistering);
  EXPECT_TRUE(session.linked());
  EXPECT_EQ(session.LinkAgeMs(kStart + 5'000), 5'000);
  session.Welcomed(kStart + 10);
  EXPECT_EQ(session.state(), LinkState::kRegistered);
  session.Stop();
  EXPECT_EQ(session.state(), LinkState::kDisconnected);
  EXPECT_EQ(session.MsUntilAttempt(kStart), -1);
  EXPECT_EQ(session.LinkAgeMs(kStart), 0);
}

// A connect the caller asked for is not retried: only a lost link starts reconnecting.
TEST(SessionStateTest, AFailedFirstConnectIsNotRetried) {
  SessionState session(1);
  session.Connect();
  const SessionState::Next next = session.Failed(kStart);
  EXPECT_FALSE(next.reconnect);
  EXPECT_FALSE(next.gave_up);
  EXPECT_EQ(session.state(), LinkState::kDisconnected);
}

TEST(SessionStateTest, NoReconnectWhenNotAllowed) {
  SessionState session(1);
  session.Connect();
  session.Opened(kStart);
  const SessionState::Next next = session.Lost(kStart + 1'000, false);
  EXPECT_FALSE(next.reconnect);
  EXPECT_EQ(session.state(), LinkState::kDisconnected);
}

// The waits grow 2, 4, 8, 16, 30, 60, 60... seconds, each with up to a quarter (at least one
// second) more, and the series gives up once the next attempt would start more than ten minutes
// after the loss.
TEST(SessionStateTest, BackOffGrowsThenGivesUpAfterTenMinutes) {
  SessionState session(7);
  int64_t now = kStart + 300'000;
  SessionState::Next next = LoseRegisteredLink(session, kStart, now);
  const int64_t lost_at = now;
  std::vector<int64_t> waits;
  while (next.reconnect) {
    EXPECT_EQ(next.attempt, static_cast<int>(waits.size()) + 1);
    EXPECT_EQ(session.state(), LinkState::kWaitingToReconnect);
    EXPECT_EQ(session.MsUntilAttempt(now), next.wait_ms);
    EXPECT_EQ(session.MsUntilAttempt(now + next.wait_ms - 1), 1);
    waits.push_back(next.wait_ms);
    now += next.wait_ms;
    EXPECT_EQ(session.MsUntilAttempt(now), 0);
    ASSERT_TRUE(session.BeginAttempt());
    EXPECT_EQ(session.state(), LinkState::kConnecting);
    EXPECT_TRUE(session.in_series());
    next = session.Failed(now);
  }
  EXPECT_TRUE(next.gave_up);
  EXPECT_EQ(session.state(), LinkState::kDisconnected);
  EXPECT_FALSE(session.in_series());
  const int64_t steps[] = {2'000, 4'000, 8'000, 16'000, 30'000, 60'000};
  ASSERT_GE(waits.size(), 10u);
  for (size_t i = 0; i < waits.size(); ++i) {
    const int64_t step = steps[std::min<size_t>(i, 5)];
    EXPECT_GE(waits[i], step) << i;
    EXPECT_LE(waits[i], step + std::max<int64_t>(1'000, step / 4)) << i;
  }
  EXPECT_LE(now - lost_at, SessionState::kGiveUpMs);
  EXPECT_GT(now - lost_at, SessionState::kGiveUpMs - 75'000);
}

// 250 doors that lose their server at the same moment spread their first attempt over a second.
TEST(SessionStateTest, JitterSpreadsTheFirstAttemptOfManyDoors) {
  std::set<int64_t> waits;
  for (uint32_t seed = 1; seed <= 250; ++seed) {
    SessionState session(seed);
    waits.insert(LoseRegisteredLink(session, kStart, kStart + 100'000).wait_ms);
  }
  EXPECT_GE(*waits.begin(), 2'000);
  EXPECT_LE(*waits.rbegin(), 3'000);
  EXPECT_GT(waits.size(), 150u);
}

// A link that worked for a while starts a new series; one dropped soon after its welcome (a
// server that takes the caller and throws them out again) goes on with the old one.
TEST(SessionStateTest, ASeriesStartsAfreshOnlyAfterASteadyLink) {
  SessionState session(3);
  int64_t now = kStart;
  SessionState::Next next = LoseRegisteredLink(session, now - 200'000, now);
  ASSERT_EQ(next.attempt, 1);
  now += next.wait_ms;
  ASSERT_TRUE(session.BeginAttempt());
  session.Opened(now);
  session.Welcomed(now + 100);
  now += 5'000;
  next = session.Lost(now, true);
  EXPECT_EQ(next.attempt, 2);
  EXPECT_GE(next.wait_ms, 4'000);

  now += next.wait_ms;
  ASSERT_TRUE(session.BeginAttempt());
  session.Opened(now);
  session.Welcomed(now);
  now += SessionState::kSteadyMs;
  next = session.Lost(now, true);
  EXPECT_EQ(next.attempt, 1);
  EXPECT_LE(next.wait_ms, 3'000);
}

TEST(SessionStateTest, TheCallerConnectingEndsTheSeries) {
  SessionState session(3);
  LoseRegisteredLink(session, kStart, kStart + 100'000);
  EXPECT_TRUE(session.in_series());
  session.Connect();
  EXPECT_FALSE(session.in_series());
  EXPECT_FALSE(session.Failed(kStart + 200'000).reconnect);
  EXPECT_FALSE(session.BeginAttempt());
}

TEST(SessionStateTest, BanReasons) {
  for (const char* text : {"Closing Link: wolf[127.0.0.1] (K-Lined: spam)", "You are banned from this server",
                           "Closing Link: x (G-lined)", "Closing Link: x (AKILL: bots)", "Z-Lined"}) {
    EXPECT_TRUE(IsBanReason(text)) << text;
  }
  for (const char* text : {"Closing Link: wolf[127.0.0.1] (Excess Flood)", "Server going down",
                           "Ping timeout", "Closing Link: x (Killed (oper (urban legend)))"}) {
    EXPECT_FALSE(IsBanReason(text)) << text;
  }
}

TEST(ResumeNotesTest, KeysAndAwayFromSentLines) {
  ResumeNotes notes;
  notes.NoteSent("join #a,#b,#c ka,kb");
  notes.NoteSent("JOIN #d");
  notes.NoteSent("JOIN #B newkey");
  notes.NoteSent("PRIVMSG #a :JOIN #e ke");
  EXPECT_EQ(notes.KeyOf("#A"), "ka");
  EXPECT_EQ(notes.KeyOf("#b"), "newkey");
  EXPECT_EQ(notes.KeyOf("#c"), "");
  EXPECT_EQ(notes.KeyOf("#e"), "");

  notes.NoteSent("AWAY :at lunch");
  EXPECT_EQ(notes.away(), "at lunch");
  notes.NoteSent("away");
  EXPECT_EQ(notes.away(), "");

  // Keyed channels lead, as JOIN pairs keys with the first channels.
  const std::vector<std::string> channels = {"#c", "#a", "#d", "#b"};
  EXPECT_EQ(notes.JoinLines(channels), (std::vector<std::string>{"JOIN #a,#b,#c,#d ka,newkey"}));
  notes.Clear();
  EXPECT_EQ(notes.JoinLines(channels), (std::vector<std::string>{"JOIN #c,#a,#d,#b"}));
}

TEST(ResumeNotesTest, ManyChannelsAreSplitIntoLinesThatFit) {
  ResumeNotes notes;
  std::vector<std::string> channels;
  for (int i = 0; i < 64; ++i) channels.push_back("#channel-with-a-long-name-" + std::to_string(i));
  const std::vector<std::string> lines = notes.JoinLines(channels);
  ASSERT_GT(lines.size(), 1u);
  std::string all;
  for (const std::string& line : lines) {
    EXPECT_LE(line.size(), ResumeNotes::kMaxJoinLine);
    ASSERT_TRUE(line.starts_with("JOIN "));
    all += (all.empty() ? "" : ",") + line.substr(5);
  }
  std::string expected;
  for (const std::string& channel : channels) expected += (expected.empty() ? "" : ",") + channel;
  EXPECT_EQ(all, expected);
}

}  // namespace
}  // namespace irc
