// CTCP: requests shown and answered under the rate limit, actions, and replies with the PING
// response time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using Lines = std::vector<std::string>;

class CtcpTest : public TrafficTest {
 protected:
  // A request from Al to Wolf with the given CTCP text (byte 1 framing included).
  Shown Request(std::string_view text, std::string_view target = "Wolf") {
    return Feed(":Al!al@host.net PRIVMSG " + std::string(target) + " :" + std::string(text));
  }
  Shown Reply(std::string_view text) { return Feed(":Al!al@host.net NOTICE Wolf :" + std::string(text)); }
  Lines Answer() { return Sent(2000); }
  Lines NoAnswer() { return Sent(0); }
};

TEST_F(CtcpTest, VersionRequestIsShownAndAnswered) {
  clock().SetTime(12, 0, 0);
  EXPECT_EQ(Request("\x01VERSION\x01"), Shown{S("\177AAl \1772requested VERSION")});
  EXPECT_EQ(Answer(), Lines{"NOTICE Al :\x01VERSION ZelkIRC v1.32\x01"});
  EXPECT_EQ(client().last_ctcp_time, 12 * 3600);
}

TEST_F(CtcpTest, AnswersGoToTheSenderEvenForAChannelRequest) {
  EXPECT_EQ(Request("\x01PING 123\x01", "#chat"), Shown{S("\177AAl \1772requested PING 123")});
  EXPECT_EQ(Answer(), Lines{"NOTICE Al :\x01PING 123\x01"});
}

TEST_F(CtcpTest, PingEchoesOnlyItsFirstArgumentWordMinusItsLastCharacter) {
  struct Case {
    std::string text;
    std::string shown_body;
    std::string answer;
  };
  const Case cases[] = {
      {"\x01PING 1 2\x01", "PING 1 2", "NOTICE Al :\x01PING \x01"},
      {"\x01PING\x01", "PING", "NOTICE Al :\x01PING \x01"},
      {"\x01PING 77", "PING 7", "NOTICE Al :\x01PING 7\x01"},  // no closing byte 1
  };
  int minute = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown_body);
    clock().SetTime(13, ++minute, 0);
    EXPECT_EQ(Request(c.text), Shown{S("\177AAl \1772requested " + c.shown_body)});
    EXPECT_EQ(Answer(), Lines{c.answer});
  }
}

TEST_F(CtcpTest, TimeIsAnsweredWithTheLocalDateAndTime) {
  clock().SetUnixSeconds(1'700'000'000);
  Request("\x01TIME\x01");
  EXPECT_EQ(Answer(), Lines{"NOTICE Al :\x01TIME 11/14/23 10:13:20 pm\x01"});

  clock().Advance(60'000);
  clock().SetUnixSeconds(0);
  Request("\x01TIME\x01");
  EXPECT_EQ(Answer(), Lines{"NOTICE Al :\x01TIME 1/1/70\x01"});
}

TEST_F(CtcpTest, RateLimitAnswersOneRequestPerPeriod) {
  clock().SetTime(10, 0, 0);
  Request("\x01VERSION\x01");
  EXPECT_EQ(Answer().size(), 1u);
  clock().SetTime(10, 0, 5);
  EXPECT_EQ(Request("\x01VERSION\x01"), Shown{S("\177AAl \1772requested VERSION")});
  EXPECT_EQ(NoAnswer(), Lines{});
  // Exactly the limit is still inside the period; one second more is out of it.
  clock().SetTime(10, 0, 10);
  Request("\x01VERSION\x01");
  EXPECT_EQ(NoAnswer(), Lines{});
  clock().SetTime(10, 0, 11);
  Request("\x01VERSION\x01");
  EXPECT_EQ(Answer().size(), 1u);
  EXPECT_EQ(client().last_ctcp_time, 10 * 3600 + 11);
}

TEST_F(CtcpTest, RateLimitCountsAcrossMidnight) {
  clock().SetTime(23, 59, 58);
  Request("\x01VERSION\x01");
  EXPECT_EQ(Answer().size(), 1u);
  clock().SetTime(0, 0, 3);  // 5 seconds later
  Request("\x01VERSION\x01");
  EXPECT_EQ(NoAnswer(), Lines{});
  clock().SetTime(0, 0, 9);  // 11 seconds later
  Request("\x01VERSION\x01");
  EXPECT_EQ(Answer().size(), 1u);
}

class CtcpDelayTest : public CtcpTest {
 protected:
  CtcpDelayTest() : CtcpTest() { f_.ini.Write("[general]\nctcpdelay=0\n"); }
};

TEST_F(CtcpDelayTest, ConfiguredDelayIsReadForEveryRequest) {
  clock().SetTime(8, 0, 0);
  Request("\x01VERSION\x01");
  EXPECT_EQ(Answer().size(), 1u);
  Request("\x01VERSION\x01");  // the same second
  EXPECT_EQ(NoAnswer(), Lines{});
  clock().SetTime(8, 0, 1);
  Request("\x01VERSION\x01");
  EXPECT_EQ(Answer().size(), 1u);
  f_.ini.Write("[general]\nctcpdelay=60\n");
  clock().SetTime(8, 0, 30);
  Request("\x01VERSION\x01");
  EXPECT_EQ(NoAnswer(), Lines{});
}

// A negative delay counts as none: still one answer a second at most, so a flood of requests
// cannot be reflected back in full.
TEST_F(CtcpDelayTest, NegativeDelayCountsAsNone) {
  f_.ini.Write("[general]\nctcpdelay=-5\n");
  clock().SetTime(8, 0, 0);
  Request("\x01PING 1\x01");
  EXPECT_EQ(Answer().size(), 1u);
  for (int i = 0; i < 20; ++i) Request("\x01PING " + std::string(1000, 'p') + "\x01");
  EXPECT_EQ(NoAnswer(), Lines{});
  clock().SetTime(8, 0, 1);
  Request("\x01VERSION\x01");
  EXPECT_EQ(Answer().size(), 1u);
}

TEST_F(CtcpTest, UnansweredKeywordsAreShownAndUseUpThePeriod) {
  clock().SetTime(9, 0, 0);
  EXPECT_EQ(Request("\x01version\x01"), Shown{S("\177AAl \1772requested version")});
  EXPECT_EQ(NoAnswer(), Lines{});
  EXPECT_EQ(client().last_ctcp_time, 9 * 3600);

  clock().SetTime(9, 1, 0);
  EXPECT_EQ(Request("\x01"
                    "FINGER\x01"),
            Shown{S("\177AAl \1772requested FINGER")});
  EXPECT_EQ(NoAnswer(), Lines{});
  EXPECT_EQ(client().last_ctcp_time, 9 * 3600 + 60);
}

TEST_F(CtcpTest, TextsWithoutAKeywordAreSafe) {
  int minute = 0;
  for (std::string text : {"\x01", "\x01\x01", "\x01 ", "\x01 x\x01"}) {
    SCOPED_TRACE(testing::PrintToString(text));
    clock().SetTime(7, ++minute, 0);
    Shown shown = Request(text);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].starts_with(S("\177AAl \1772requested "))) << shown[0];
    EXPECT_EQ(NoAnswer(), Lines{});
  }
  EXPECT_EQ(Reply("\x01"), Shown{S("CTCP \177F \1777reply from Al: ")});
}

TEST_F(CtcpTest, ActionIsShownAsAnActionLineAndNeverRateLimited) {
  clock().SetTime(6, 0, 0);
  client().last_ctcp_time = 6 * 3600 - 1;
  EXPECT_EQ(Request("\x01"
                    "ACTION waves\x01",
                    "#room"),
            Shown{L("\1778\xF0 \177EAl\1778:\177E#room \1777waves")});
  EXPECT_EQ(Request("\x01"
                    "ACTION :smiles at all\x01"),
            Shown{L("\1778\xF0 \177EAl\1778:\177EWolf \1777smiles at all")});
  EXPECT_EQ(NoAnswer(), Lines{});
  EXPECT_EQ(client().last_ctcp_time, 6 * 3600 - 1);
}

TEST_F(CtcpTest, PingReplyShowsTheResponseTime) {
  struct Case {
    int now;
    std::string text;
    std::string duration;
  };
  const Case cases[] = {
      {130, "\x01PING 100\x01", "30s"},
      {10, "\x01PING 86390\x01", "20s"},  // sent before midnight
      {3700, "\x01PING 0\x01", "1h 1m 40s"},
      {100, "\x01PING soon\x01", ""},  // not a number: counted from now
      {100, "\x01PING 100\x01", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    clock().SetTime(0, 0, c.now);
    EXPECT_EQ(Reply(c.text), Shown{S("CTCP \177FPING \1777reply from Al: " + c.duration)});
  }
  // Stamps at the ends of the integer range are counted without overflow.
  for (std::string stamp : {"-2147483648", "2147483647", "99999999999"}) {
    SCOPED_TRACE(stamp);
    Shown shown = Reply("\x01PING " + stamp + "\x01");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].starts_with(S("CTCP \177FPING \1777reply from Al: "))) << shown[0];
  }
}

TEST_F(CtcpTest, OtherRepliesShowKeywordInUpperCaseAndText) {
  EXPECT_EQ(Reply("\x01VERSION\x01"), Shown{S("CTCP \177FVERSION \1777reply from Al: ")});
  EXPECT_EQ(Reply("\x01VERSION mIRC v7.1\x01"), Shown{S("CTCP \177FVERSION \1777reply from Al: mIRC v7.1")});
  EXPECT_EQ(Reply("\x01time Tue noon"), Shown{S("CTCP \177FTIME \1777reply from Al: Tue noon")});
  EXPECT_EQ(NoAnswer(), Lines{});
}

}  // namespace
}  // namespace irc::traffic_test
