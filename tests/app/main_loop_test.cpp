// The main loop on a settable clock: its one wait ends when a typed line waiting for its turn is
// due, so paced lines leave on time without a polling loop.
#include <gtest/gtest.h>

#include <string>

#include "app/client_app.h"
#include "support/server_fixture.h"

namespace {

using testsupport::ServerFixture;

TEST(MainLoopTest, TheWaitEndsWhenTheNextTypedLineIsDue) {
  ServerFixture f;
  ASSERT_TRUE(f.Connect());
  app::ClientApp app(f.door(), f.client);
  f.client.targets.push_back("#chat");
  f.client.active_target = 1;
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

}  // namespace
