// The main loop on a settable clock: its one wait ends when a typed line waiting for its turn is
// due, so paced lines leave on time without a polling loop; a lost link is told before any wait,
// and the wait ends when the reconnect is due.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "app/client_app.h"
#include "support/server_fixture.h"

namespace {

using testsupport::ServerFixture;

TEST(MainLoopTest, TheWaitEndsWhenTheNextTypedLineIsDue) {
  ServerFixture f;
  ASSERT_TRUE(f.Connect());
  app::ClientApp app(f.door(), f.client);
  f.client.targets.Add("#chat");
  for (int i = 0; i < 7; ++i) f.client.ProcessInputLine("line " + std::to_string(i));
  const int64_t typed_at = f.door_fixture.clock.MsOfDay();
  EXPECT_EQ(f.server.ReadLines(2000).size(), 5u);

  for (int line = 5; line < 7; ++line) {
    std::vector<std::string> sent;
    int64_t pass_start = 0;
    for (int pass = 0; pass < 20 && sent.empty(); ++pass) {
      pass_start = f.door_fixture.clock.MsOfDay();
      app.RunPass();
      sent = f.server.ReadLines(0);
    }
    EXPECT_EQ(sent, std::vector<std::string>{"PRIVMSG #chat :line " + std::to_string(line)});
    // The clock only moves by the waits' time-outs: the pass that sent the line began exactly
    // when it was due.
    EXPECT_EQ(pass_start - typed_at, (line - 4) * 2000);
  }
  EXPECT_EQ(f.client.MsUntilNextSend(), -1);
}

TEST(MainLoopTest, ALostLinkIsToldAtOnceAndTheWaitEndsWhenTheReconnectIsDue) {
  ServerFixture f;
  ASSERT_TRUE(f.Connect());
  app::ClientApp app(f.door(), f.client);
  f.server.SendLine(":irc.test 001 Wolf :Welcome");
  for (int pass = 0; pass < 200 && f.client.session.state() != irc::LinkState::kRegistered; ++pass) {
    app.RunPass();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  f.server.Close();
  // Nothing else happens: no key, no data. The clock moves only by the waits' time-outs.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const int64_t closed_at = f.door().MonotonicMs();
  f.CallerText();
  std::string shown;
  for (int pass = 0; pass < 10 && shown.find("Reconnecting in ") == std::string::npos; ++pass) {
    app.RunPass();
    shown += f.CallerText();
  }
  EXPECT_NE(shown.find("Connection to 127.0.0.1 lost after "), std::string::npos) << shown;
  EXPECT_LT(f.door().MonotonicMs() - closed_at, 1000);

  // The passes that follow sleep until the reconnect attempt, which then connects.
  for (int pass = 0; pass < 10 && !f.server.Accept(0); ++pass) app.RunPass();
  EXPECT_TRUE(f.server.connected());
  const int64_t waited = f.door().MonotonicMs() - closed_at;
  EXPECT_GE(waited, irc::SessionState::kBackOffMs[0]);
  EXPECT_LE(waited, irc::SessionState::kBackOffMs[0] + 2000);
}

}  // namespace
