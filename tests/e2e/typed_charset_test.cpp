// What a caller types on a code page 437 visit reaches IRC as the letters meant, whether the
// caller's terminal sent code page 437 or, through a board that converts only the door's output,
// UTF-8; both callers see their own echo in code page 437.
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

TEST(TypedOnACp437Visit, Utf8AndCodePage437BothArriveAsLetters) {
  ScriptedServer server;
  DoorProcess door(OneNetworkIni(server.port(), "handle=Wolf\ncharset=cp437\n"));
  door.StartWithCaller();
  ASSERT_TRUE(server.AcceptIntoChannel("#chan", kWaitMs)) << server.received();
  ASSERT_TRUE(door.CallerWaitFor("[#chan] ", kWaitMs)) << door.CallerReceived();

  door.CallerTypes("caf\xC3\xA9 \xE2\x82\xAC\r");  // UTF-8: "café €"
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chan :caf\xC3\xA9 \xE2\x82\xAC", kWaitMs)) << server.received();
  door.CallerTypes("caf\x82 \xC4\r");  // code page 437: "café ─"
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chan :caf\xC3\xA9 \xE2\x94\x80", kWaitMs)) << server.received();
  // A byte that could start UTF-8 but ends the line: code page 437 ("ß", then Enter).
  door.CallerTypes("\xE1\r");
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chan :\xC3\x9F", kWaitMs)) << server.received();
  // The echo is code page 437 either way: é twice, the euro sign as its stand-in.
  EXPECT_NE(door.CallerReceived().find("caf\x82 "), std::string::npos);

  door.CallerTypes("/quit\r");
  ASSERT_TRUE(server.WaitForLine("QUIT", kWaitMs));
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

}  // namespace
