#include "irc/session/link_watch.h"

#include "gtest/gtest.h"

namespace {

using irc::LinkWatch;
using Action = LinkWatch::Action;

constexpr int64_t kNoon = 12 * 3'600'000LL;

TEST(LinkWatch, SilenceBringsOnePingThenTheEnd) {
  LinkWatch watch;
  EXPECT_EQ(watch.MsUntilDue(kNoon), -1);
  watch.Start(kNoon);
  watch.Welcomed();
  EXPECT_EQ(watch.MsUntilDue(kNoon), LinkWatch::kQuietMs);
  EXPECT_EQ(watch.Check(kNoon + LinkWatch::kQuietMs - 1), Action::kNone);
  EXPECT_EQ(watch.Check(kNoon + LinkWatch::kQuietMs), Action::kPing);
  EXPECT_EQ(watch.Check(kNoon + LinkWatch::kQuietMs + 1), Action::kNone);  // one PING per silence
  EXPECT_EQ(watch.MsUntilDue(kNoon + LinkWatch::kQuietMs), LinkWatch::kAnswerMs);
  EXPECT_EQ(watch.Check(kNoon + LinkWatch::kQuietMs + LinkWatch::kAnswerMs), Action::kGiveUp);
  EXPECT_FALSE(watch.active());
  EXPECT_EQ(watch.Check(kNoon + 10 * LinkWatch::kQuietMs), Action::kNone);
}

TEST(LinkWatch, AnyByteIsAnAnswerAndStartsTheQuietTimeAgain) {
  LinkWatch watch;
  watch.Start(kNoon);
  watch.Welcomed();
  EXPECT_EQ(watch.Check(kNoon + LinkWatch::kQuietMs), Action::kPing);
  const int64_t answered = kNoon + LinkWatch::kQuietMs + 500;
  watch.Heard(answered);
  EXPECT_EQ(watch.Check(answered + LinkWatch::kQuietMs - 1), Action::kNone);
  EXPECT_EQ(watch.MsUntilDue(answered), LinkWatch::kQuietMs);
  EXPECT_EQ(watch.Check(answered + LinkWatch::kQuietMs), Action::kPing);
}

TEST(LinkWatch, RegistrationWithoutWelcomeIsGivenUpAfterAMinuteWhateverArrives) {
  LinkWatch watch;
  watch.Start(kNoon);
  watch.Heard(kNoon + 30'000);  // a notice, but no 001
  EXPECT_EQ(watch.MsUntilDue(kNoon + 30'000), LinkWatch::kWelcomeMs - 30'000);
  EXPECT_EQ(watch.Check(kNoon + LinkWatch::kWelcomeMs - 1), Action::kNone);
  EXPECT_EQ(watch.Check(kNoon + LinkWatch::kWelcomeMs), Action::kGiveUp);
}

TEST(LinkWatch, TimesAcrossMidnight) {
  LinkWatch watch;
  const int64_t late = 86'400'000LL - 1000;
  watch.Start(late);
  watch.Welcomed();
  EXPECT_EQ(watch.Check(LinkWatch::kQuietMs - 1000 - 1), Action::kNone);
  EXPECT_EQ(watch.Check(LinkWatch::kQuietMs - 1000), Action::kPing);
}

}  // namespace
