// Opening the server link within its time limit, interrupted by the caller's hang-up, and the
// silence checks of an open link; on the settable clock, so that minutes pass at once.
#include <gtest/gtest.h>
#include <poll.h>

#include <string>

#include "door/door.h"
#include "door/program_end.h"
#include "irc/client/client.h"
#include "support/scripted_server.h"
#include "support/server_fixture.h"
#include "support/sockets.h"
#include "traffic_support.h"

namespace irc {
namespace {

using testsupport::FullListener;
using testsupport::ScriptedServer;
using testsupport::ServerFixture;
using traffic_test::DecodeShown;
using traffic_test::S;
using traffic_test::Shown;
using traffic_test::StatusShown;

TEST(ServerLinkTest, UnansweredHostsTimeOutAndTheNextOneIsTried) {
  FullListener full;    // the TCP connect is never answered
  ScriptedServer mute;  // TCP is answered, the TLS handshake never is
  ScriptedServer server;
  ServerFixture f("[general]\nconnecttimeout=5\n[Net]\n127.0.0.1=" + std::to_string(full.port()) +
                  "\nlocalhost=" + std::to_string(server.port()) + "\n");
  const int64_t start = f.door_fixture.clock.MsOfDay();
  f.client.ConnectNetwork("Net");
  EXPECT_EQ(DecodeShown(f.CallerText()),
            (Shown{S("Connecting to 127.0.0.1"), S("Unable to connect"), S("No answer within 5 seconds"),
                   S("Connecting to localhost")}));
  EXPECT_EQ(f.client.network_name, "Net");
  ASSERT_TRUE(server.Accept(2000));
  EXPECT_TRUE(server.WaitForLine("USER ", 2000));
  // One time-out of 5 s on the door's clock, and no more.
  const int64_t spent = f.door_fixture.clock.MsOfDay() - start;
  EXPECT_GE(spent, 5'000);
  EXPECT_LT(spent, 6'000);
}

TEST(ServerLinkTest, UnansweredTlsHandshakeTimesOut) {
  ScriptedServer mute;  // TCP is answered, the TLS handshake never is
  ServerFixture f("[general]\nconnecttimeout=5\n");
  EXPECT_FALSE(f.client.ConnectServer("127.0.0.1", ServerPort(mute.port(), true), false));
  EXPECT_EQ(DecodeShown(f.CallerText()),
            (Shown{S("Connecting to 127.0.0.1"), S("Unable to connect"), S("No answer within 5 seconds")}));
  ASSERT_TRUE(mute.Accept(2000));
  mute.ReadLines(100);
  EXPECT_FALSE(mute.received().empty());  // the handshake's first message went out
}

TEST(ServerLinkTest, DefaultLimitIsThirtySeconds) {
  FullListener full;
  ServerFixture f("[general]\nconnecttimeout=abc\n");
  EXPECT_FALSE(f.client.ConnectServer("127.0.0.1", full.port(), false));
  EXPECT_EQ(DecodeShown(f.CallerText()).back(), S("No answer within 30 seconds"));
}

TEST(ServerLinkTest, HangUpDuringConnectEndsTheVisitWithinASecond) {
  FullListener full;
  ServerFixture f;
  int64_t dropped_at = -1;
  f.door().on_carrier_drop = [&] { dropped_at = f.door().MsOfDay(); };
  f.CallerText();
  // The caller hangs up once the connect is under way: the first busy wait sees it.
  const int64_t start = f.door().MsOfDay();
  f.door_fixture.DropCarrier();
  EXPECT_THROW(f.client.ConnectServer("127.0.0.1", full.port(), false), door::ProgramEnd);
  ASSERT_GE(dropped_at, 0);
  EXPECT_LE(dropped_at - start, 1000);
}

// Keys typed while a connect is under way are acted on at once: Esc and /QUIT stop it, a line
// that needs the server is refused with a message, and a line not yet ended stays on the input
// line.
TEST(ServerLinkTest, KeysTypedDuringConnectAreActedOn) {
  struct Case {
    std::string typed;
    bool stops;  // the attempt ends long before its 30 s limit
    bool quits;
    Shown shown;       // status lines after "Connecting to 127.0.0.1"
    std::string left;  // what stays on the input line
  };
  const Case cases[] = {
      {"\x1B", true, false, {S("Connecting stopped")}, ""},
      {"/quit\r", true, true, {}, ""},
      {"/msg bob hi\r",
       false,
       false,
       {S("Not connected: line not sent"), S("Unable to connect"), S("No answer within 30 seconds")},
       ""},
      {"hello", false, false, {S("Unable to connect"), S("No answer within 30 seconds")}, "hello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.typed));
    FullListener full;
    ServerFixture f;
    f.door_fixture.CallerTypes(c.typed);
    const int64_t start = f.door().MonotonicMs();
    EXPECT_FALSE(f.client.ConnectServer("127.0.0.1", full.port(), false));
    EXPECT_EQ(f.door().MonotonicMs() - start < 1000, c.stops);
    EXPECT_EQ(f.client.quit_requested, c.quits);
    EXPECT_EQ(f.client.input_line, c.left);
    EXPECT_EQ(f.client.session.state(), LinkState::kDisconnected);
    // The prompt drawn for the typing stays below the status lines.
    Shown expected = c.shown;
    expected.insert(expected.begin(), S("Connecting to 127.0.0.1"));
    EXPECT_EQ(StatusShown(f.CallerText()), expected);
  }
}

// /SERVER typed while connecting stops that connect and then runs.
TEST(ServerLinkTest, ServerTypedDuringConnectRunsAfterIt) {
  FullListener full;
  ScriptedServer server;
  ServerFixture f("[general]\nserver=1\n");
  f.door_fixture.CallerTypes("/server 127.0.0.1 " + std::to_string(server.port()) + "\r");
  const int64_t start = f.door().MonotonicMs();
  EXPECT_FALSE(f.client.ConnectServer("127.0.0.1", full.port(), false));
  EXPECT_LT(f.door().MonotonicMs() - start, 1000);
  f.client.RunSession();
  ASSERT_TRUE(server.Accept(2000));
  EXPECT_TRUE(server.WaitForLine("USER ", 2000));
  EXPECT_EQ(f.client.session.state(), LinkState::kRegistering);
}

// A registered link on the settable clock; lines from the scripted server are taken as the main
// loop takes them.
class LinkWatchTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(f_.Connect());
    Welcome();
  }
  void Welcome() {
    f_.server.SendLine(":irc.test 001 Wolf :Welcome");
    Receive();
  }
  // Takes what the server sent, waiting for it at most a second of real time.
  void Receive() {
    for (int i = 0; i < 500 && !f_.client.server_link.DataWaiting(); ++i)
      f_.client.server_link.Poll(), Pause();
    if (f_.client.server_link.DataWaiting()) f_.client.ReceiveServerData();
  }
  static void Pause() {
    pollfd none{-1, 0, 0};
    poll(&none, 0, 2);
  }
  testsupport::FakeClock& clock() { return f_.door_fixture.clock; }

  ServerFixture f_;
};

TEST_F(LinkWatchTest, QuietLinkIsPingedAndTheAnswerIsNotShown) {
  f_.CallerText();
  EXPECT_EQ(f_.client.WatchServerLink(), LinkWatch::kQuietMs);
  clock().Advance(LinkWatch::kQuietMs);
  EXPECT_EQ(f_.client.WatchServerLink(), LinkWatch::kAnswerMs);
  EXPECT_TRUE(f_.server.WaitForLine("PING :ZelkIRC-lag", 2000));
  f_.server.SendLine(":irc.test PONG irc.test :ZelkIRC-lag");
  Receive();
  EXPECT_EQ(f_.client.WatchServerLink(), LinkWatch::kQuietMs);
  EXPECT_TRUE(f_.client.server_link.IsOpen());
  EXPECT_EQ(f_.CallerText().find("PONG"), std::string::npos);
  // Another PONG (asked for by the user) is shown as before.
  f_.server.SendLine(":irc.test PONG irc.test :mine");
  Receive();
  EXPECT_NE(f_.CallerText().find("\x1B[1;30m:irc.test PONG irc.test :mine\r\n"), std::string::npos);
}

// A link that stops answering is given up, told as lost, and reconnected after the first step of
// the back-off; the caller's channel is rejoined and stays the active target.
TEST_F(LinkWatchTest, NoAnswerIsALostLinkThatIsReconnectedAndRejoined) {
  f_.server.SendLine(":Wolf!w@host JOIN :#chat");
  Receive();
  ASSERT_EQ(f_.client.targets.active(), 1);
  clock().Advance(LinkWatch::kQuietMs);
  f_.client.RunSession();
  clock().Advance(LinkWatch::kAnswerMs);
  f_.CallerText();
  const int64_t wait_ms = f_.client.RunSession();
  EXPECT_FALSE(f_.client.server_link.IsOpen());
  EXPECT_TRUE(f_.server.WaitForClose(2000));
  const Shown shown = StatusShown(f_.CallerText());
  ASSERT_EQ(shown.size(), 2u) << testing::PrintToString(shown);
  EXPECT_EQ(shown[0], S("Connection to 127.0.0.1 lost after 4m: Server not responding"));
  EXPECT_EQ(shown[1], S("Reconnecting in " + std::to_string((wait_ms + 999) / 1000) + " s (Esc stops)"));
  EXPECT_GE(wait_ms, SessionState::kBackOffMs[0]);
  EXPECT_LE(wait_ms, SessionState::kBackOffMs[0] + 1000);
  EXPECT_EQ(f_.client.session.state(), LinkState::kWaitingToReconnect);

  // Nothing happens before the step has passed.
  clock().Advance(wait_ms - 1);
  EXPECT_EQ(f_.client.RunSession(), 1);
  EXPECT_FALSE(f_.server.Accept(50));
  clock().Advance(1);
  f_.client.RunSession();
  ASSERT_TRUE(f_.server.Accept(2000));
  EXPECT_TRUE(f_.server.WaitForLine("NICK Wolf", 2000));
  Welcome();
  EXPECT_TRUE(f_.server.WaitForLine("JOIN #chat", 2000));
  f_.server.SendLine(":Wolf!w@host JOIN :#chat");
  Receive();
  EXPECT_EQ(f_.client.targets.names(), (std::vector<std::string>{"Status", "#chat"}));
  EXPECT_EQ(f_.client.targets.active(), 1);
  EXPECT_EQ(f_.client.session.state(), LinkState::kRegistered);
}

TEST(ServerLinkWelcomeTest, RegistrationWithoutWelcomeIsGivenUpAfterAMinute) {
  ServerFixture f;
  ASSERT_TRUE(f.Connect());
  f.server.SendLine(":irc.test NOTICE * :*** Looking up your hostname");
  // A server that never answers CAP LS is not waited for beyond a few seconds.
  EXPECT_EQ(f.client.WatchServerLink(), CapNegotiation::kAnswerWaitMs);
  f.door_fixture.clock.Advance(CapNegotiation::kAnswerWaitMs);
  EXPECT_EQ(f.client.WatchServerLink(), LinkWatch::kWelcomeMs - CapNegotiation::kAnswerWaitMs);
  EXPECT_TRUE(f.server.WaitForLine("CAP END", 2000));
  f.door_fixture.clock.Advance(LinkWatch::kWelcomeMs - CapNegotiation::kAnswerWaitMs);
  EXPECT_EQ(f.client.WatchServerLink(), -1);
  EXPECT_FALSE(f.client.server_link.IsOpen());
  EXPECT_TRUE(f.server.WaitForClose(2000));
}

}  // namespace
}  // namespace irc
