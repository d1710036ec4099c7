// What the lines of negotiated capabilities show: replayed history with its own time, tags never
// shown, presence changes of private conversation partners, invitations of others, and silence for
// the rest.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "irc/client/line_time.h"
#include "irc/targets_state.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using CapabilityLinesTest = TrafficTest;

// 2026-12-10 14:02:11 UTC.
constexpr int64_t kNow = 1'796'911'331;

TEST(LineTimeTest, ServerTimeTags) {
  const std::pair<std::string_view, std::optional<int64_t>> cases[] = {
      {"2026-12-10T14:02:11.123Z", kNow},
      {"2026-12-10T14:02:11Z", kNow},
      {"2026-12-10T14:02:11.1234567Z", kNow},
      {"1970-01-01T00:00:00.000Z", 0},
      {"2024-02-29T23:59:59.999Z", 1'709'251'199},
      {"2026-12-10T14:02:11.123", std::nullopt},
      {"2026-12-10T14:02:11.Z", std::nullopt},
      {"2026-12-10 14:02:11Z", std::nullopt},
      {"2026-13-10T14:02:11Z", std::nullopt},
      {"2026-12-10T24:02:11Z", std::nullopt},
      {"2026-12-10T14:02:11Zx", std::nullopt},
      {"+026-12-10T14:02:11Z", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) EXPECT_EQ(ParseServerTime(text), seconds) << text;
}

TEST(LineTimeTest, OnlyOldLinesGetAStamp) {
  DateTimeFormat format;  // m/d/yy, 12-hour clock, UTC
  EXPECT_EQ(HistoryStamp(kNow, kNow, format), "");
  EXPECT_EQ(HistoryStamp(kNow - 60, kNow, format), "");
  EXPECT_EQ(HistoryStamp(kNow + 3600, kNow, format), "");  // a server clock ahead of ours
  EXPECT_EQ(HistoryStamp(kNow - 61, kNow, format), "2:01:10 pm");
  EXPECT_EQ(HistoryStamp(kNow - 14 * 3600, kNow, format), "12:02:11 am");
  EXPECT_EQ(HistoryStamp(kNow - 15 * 3600, kNow, format), "12/9/26 11:02:11 pm");
  // The local day decides: at UTC+2 (bias -120) both times are on 12/10.
  format.time_zone_bias = [] { return -120; };
  EXPECT_EQ(HistoryStamp(kNow - 15 * 3600, kNow, format), "1:02:11 am");
}

TEST_F(CapabilityLinesTest, ReplayedHistoryShowsItsOwnTime) {
  clock().SetUnixSeconds(kNow);
  const Shown history =
      Feed("@time=2026-12-10T13:30:00.000Z;msgid=abc :Al!al@h PRIVMSG #chat :earlier today");
  EXPECT_EQ(history,
            Shown{L("\1778[1:30:00 pm] \1777\1779<\1777Al\1778:\1777#chat\1779> \1777earlier today")});
  EXPECT_EQ(
      Feed("@time=2026-12-09T08:00:00Z :Al!al@h TOPIC #chat :old topic"),
      Shown{S("\1778[12/9/26 8:00:00 am] \1777Topic \1778(\1773#chat\1778): \1777changed by \1773Al\1778: "
              "\1777old topic")});
  // A line of now (or one without a time) shows no stamp, and the next line none either.
  EXPECT_EQ(Feed("@time=2026-12-10T14:01:50.000Z :Al!al@h PRIVMSG #chat :now"),
            Shown{L("\1779<\1777Al\1778:\1777#chat\1779> \1777now")});
  Feed("@time=2026-12-09T08:00:00Z :Al!al@h PRIVMSG #chat :old");
  EXPECT_EQ(Feed(":Al!al@h PRIVMSG #chat :plain"),
            Shown{L("\1779<\1777Al\1778:\1777#chat\1779> \1777plain")});
  client().ShowStatus("typed");
  EXPECT_EQ(DecodeShown(f_.CallerText()), Shown{S("typed")});
}

TEST_F(CapabilityLinesTest, TagsAreNeverShown) {
  EXPECT_EQ(Feed("@+typing=active;+draft/reply=x :Al!al@h TAGMSG #chat"), Shown{});
  EXPECT_EQ(Feed("@time=bogus;\x01x=\x1B[2J :Al!al@h FOO #chat :odd"),
            Shown{L("\1778:Al!al@h FOO #chat :odd")});
  EXPECT_EQ(Feed("@a=1 :irc.test 999 Wolf :new reply"), Shown{L("\1778:irc.test 999 Wolf :new reply")});
  EXPECT_EQ(Feed("@" + std::string(10000, 'x') + " PING :big"), Shown{});
  EXPECT_EQ(Sent(2000), std::vector<std::string>{"PONG :big"});
}

TEST_F(CapabilityLinesTest, PresenceAndIdentityChanges) {
  SetTargets(client().targets, {"Status", "#chat", "Al"}, 2);
  const std::pair<std::string_view, Shown> cases[] = {
      {":Al!al@h AWAY :gone fishing", {S("\177FAl \1777is away \1778(\1777gone fishing\1778)")}},
      {":AL!al@h AWAY", {S("\177FAL \1777is back")}},
      {":Bo!bo@h AWAY :not a partner", {}},
      {":Al!al@h ACCOUNT al", {}},
      {":Al!al@h ACCOUNT *", {}},
      {":Al!al@h CHGHOST alice new.host", {}},
      {":Al!al@h SETNAME :Alice Liddell", {}},
      {":Al!al@h JOIN #chat al :Alice Liddell", {S("\177BAl \1778[\1773al@h\1778] \1777has joined #chat")}},
      {":Al!al@h INVITE Bo #chat", {S("\177FAl \1777invited \177FBo \1777to #chat")}},
      {":Al!al@h INVITE Wolf :#chat", {S("\177FAl Invites You to #chat")}},
  };
  for (const auto& [line, shown] : cases) EXPECT_EQ(Feed(line), shown) << line;
}

TEST_F(CapabilityLinesTest, NamesShowEveryPrefixAndNoAddresses) {
  EXPECT_EQ(Feed(":irc.test 353 Wolf = #chat :@+Al!al@h Bo!bo@h +Cy"),
            (Shown{S("\1778[\177AUsers\1778(\1772#chat\1778:\17723\1778)]"),
                   L("\1778[\1779@+Al         \1778] \1778[\1779Bo           \1778] \1778[\1779+Cy          "
                     "\1778] ")}));
}

}  // namespace
}  // namespace irc::traffic_test
