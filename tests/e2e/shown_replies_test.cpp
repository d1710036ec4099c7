// Replies the caller reads that used to say too little: a WHOIS of someone idle for no time at
// all, and /HELP on a topic it has no entry for.
#include <gtest/gtest.h>

#include <string>

#include "support/door_process.h"
#include "support/scripted_server.h"
#include "support/temp_ini.h"

namespace {

using testsupport::DoorProcess;
using testsupport::OneNetworkIni;
using testsupport::ScriptedServer;

constexpr int kWaitMs = 5000;

TEST(ShownReplies, WhoisIdleOfNoTimeAndHelpOnAnUnknownTopic) {
  ScriptedServer server;
  DoorProcess door(OneNetworkIni(server.port(), "handle=Wolf\ncharset=cp437\n"));
  door.StartWithCaller();
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
  server.SendLine(":irc.test 001 Wolf :Welcome");
  ASSERT_TRUE(door.CallerWaitFor("Welcome", kWaitMs)) << door.CallerReceived();

  door.CallerTypes("/WHOIS bob\r");
  ASSERT_TRUE(server.WaitForLine("WHOIS bob", kWaitMs)) << server.received();
  server.SendLine(":irc.test 311 Wolf bob b host * :Bob Smith");
  server.SendLine(":irc.test 317 Wolf bob 0 1700000000 :seconds idle, signon time");
  server.SendLine(":irc.test 318 Wolf bob :End of WHOIS list");
  EXPECT_TRUE(door.CallerWaitFor("dle     : 0s\r\n", kWaitMs)) << door.CallerReceived();

  door.CallerTypes("/help xyz\r");
  EXPECT_TRUE(door.CallerWaitFor("Unknown Command: xyz\r\n", kWaitMs)) << door.CallerReceived();

  door.CallerTypes("/quit\r");
  ASSERT_TRUE(server.WaitForLine("QUIT", kWaitMs));
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

}  // namespace
