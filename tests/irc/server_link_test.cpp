// Opening the server link within its time limit, interrupted by the caller's hang-up, and the
// silence checks of an open link; on the settable clock, so that minutes pass at once.
#include <gtest/gtest.h>
#include <poll.h>

#include <string>

#include "door/door.h"
#include "door/program_end.h"
#include "irc/client.h"
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

TEST(ServerLinkTest, KeysTypedDuringConnectWaitForLater) {
  FullListener full;
  ServerFixture f("[general]\nconnecttimeout=3\n");
  f.door_fixture.CallerTypes("hello");
  const int waits_before = f.door_fixture.clock.waits();
  EXPECT_FALSE(f.client.ConnectServer("127.0.0.1", full.port(), false));
  // The typed keys did not make the waits return at once: a few waits cover the 3 seconds.
  EXPECT_LT(f.door_fixture.clock.waits() - waits_before, 10);
  std::string keys;
  while (f.door().DoorKeyPressed()) keys += f.door().DoorReadKey();
  EXPECT_EQ(keys, "hello");
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

TEST_F(LinkWatchTest, NoAnswerClosesTheLinkLikeAServerThatClosed) {
  clock().Advance(LinkWatch::kQuietMs);
  f_.client.WatchServerLink();
  clock().Advance(LinkWatch::kAnswerMs);
  f_.CallerText();
  EXPECT_EQ(f_.client.WatchServerLink(), -1);
  EXPECT_FALSE(f_.client.server_link.IsOpen());
  EXPECT_TRUE(f_.server.WaitForClose(2000));
  EXPECT_EQ(DecodeShown(f_.CallerText()), Shown{S("Server not responding")});
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
