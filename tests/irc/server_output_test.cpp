// What the client sends the server never waits for it: lines the socket does not take wait in the
// link's queue, and a server that leaves them there too long, or lets too many pile up, is given
// up with a status line. On the settable clock, so that a minute passes at once.
#include <gtest/gtest.h>

#include <string>

#include "irc/client/client.h"
#include "support/server_fixture.h"
#include "traffic_support.h"

namespace irc {
namespace {

using testsupport::ServerFixture;
using traffic_test::DecodeShown;
using traffic_test::S;
using traffic_test::Shown;

class ServerOutputTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(f_.Connect());
    f_.CallerText();
  }
  // Sends answers the server does not read until some wait in the client's own queue.
  void FillUntilQueued() {
    const std::string line = "PONG :" + std::string(400, 'p');
    for (int i = 0; i < 100'000 && !f_.client.server_link.HasQueued(); ++i)
      f_.client.server_link.SendLine(line);
    ASSERT_TRUE(f_.client.server_link.HasQueued());
  }
  testsupport::FakeClock& clock() { return f_.door_fixture.clock; }

  ServerFixture f_;
};

TEST_F(ServerOutputTest, NothingTakenForAMinuteGivesTheServerUp) {
  EXPECT_EQ(f_.client.WatchServerOutput(), -1);  // nothing waits: no wake-up
  FillUntilQueued();
  EXPECT_EQ(f_.client.WatchServerOutput(), Client::kServerStallMs);
  clock().Advance(Client::kServerStallMs - 1);
  EXPECT_EQ(f_.client.WatchServerOutput(), 1);
  EXPECT_EQ(f_.CallerText(), "");
  clock().Advance(1);
  EXPECT_EQ(f_.client.WatchServerOutput(), -1);
  EXPECT_FALSE(f_.client.server_link.IsOpen());
  EXPECT_TRUE(f_.server.WaitForClose(2000));
  EXPECT_EQ(DecodeShown(f_.CallerText()), Shown{S("Server not reading: nothing taken for 60 seconds")});
  // Typed lines have nowhere to go now, as after any lost link.
  f_.client.SendTyped("PRIVMSG #c :lost");
  EXPECT_EQ(f_.client.MsUntilNextSend(), -1);
}

TEST_F(ServerOutputTest, AServerThatReadsAgainInTimeIsKept) {
  FillUntilQueued();
  f_.client.WatchServerOutput();
  clock().Advance(Client::kServerStallMs - 1);
  f_.server.WaitForLine("no such line", 200);  // reads everything there is
  for (int i = 0; i < 100 && f_.client.WatchServerOutput() >= 0; ++i) f_.server.WaitForLine("none", 20);
  EXPECT_FALSE(f_.client.server_link.HasQueued());
  clock().Advance(Client::kServerStallMs);
  EXPECT_EQ(f_.client.WatchServerOutput(), -1);
  EXPECT_TRUE(f_.client.server_link.IsOpen());
  EXPECT_EQ(f_.CallerText(), "");
  EXPECT_EQ(f_.SentUpToMarker().back(), "PONG :" + std::string(400, 'p'));
}

TEST_F(ServerOutputTest, MoreThanAMebibyteUnsentGivesTheServerUp) {
  FillUntilQueued();
  const std::string line = "PONG :" + std::string(1000, 'q');
  size_t queued = f_.client.server_link.QueuedBytes();
  while (f_.client.server_link.SendLine(line)) queued = f_.client.server_link.QueuedBytes();
  EXPECT_LE(queued, Client::kServerQueueLimit);
  EXPECT_GT(queued + 2 * line.size(), Client::kServerQueueLimit);
  EXPECT_EQ(f_.client.WatchServerOutput(), -1);
  EXPECT_EQ(DecodeShown(f_.CallerText()), Shown{S("Server not reading: over 1 MiB waiting to be sent")});
  EXPECT_EQ(f_.client.WatchServerOutput(), -1);
  EXPECT_EQ(f_.CallerText(), "");  // said once
}

}  // namespace
}  // namespace irc
