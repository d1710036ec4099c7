// A client ready for server traffic: a door on a socket-pair caller (DoorFixture), the client
// reading a temporary INI file, and a scripted IRC server that Connect() registers it with.
// The nickname is Wolf and the full name Joe Smith unless a test changes them first; the visit is
// allowed 24 hours, as without a drop file, so that key waits do not end it.
//
//   ServerFixture f("[MyNet]\nchannels=#chat\n");
//   ASSERT_TRUE(f.Connect());
//   f.client.HandleServerLine(":irc.test 001 Wolf :Welcome");
//   EXPECT_EQ(f.CallerText(), ...);           // what the caller's terminal received
//   f.server.WaitForLine("JOIN ", 2000);      // what the client sent to the server
//
// Header-only: it uses the client library, which the support library does not link.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "irc/client/client.h"
#include "support/door_fixture.h"
#include "support/scripted_server.h"
#include "support/temp_ini.h"

namespace testsupport {

class ServerFixture {
 public:
  explicit ServerFixture(std::string_view ini_contents = "", bool connect_caller = true)
      : door_fixture(connect_caller), ini(ini_contents), client(*door_fixture.door, ini.path()) {
    client.SetNick("Wolf");
    door_fixture.door->visit.user_real_name = "Joe Smith";
    door_fixture.door->visit.time_left = 86'400;
  }

  // Connects the client with ConnectServer (no password), accepts it and reads its registration
  // up to the USER line; the caller output of the connection is drained. False when any step
  // fails within the time limit.
  bool Connect(int timeout_ms = 2000) {
    if (!client.ConnectServer("127.0.0.1", server.port(), false)) return false;
    if (!server.Accept(timeout_ms)) return false;
    bool registered = server.WaitForLine("USER ", timeout_ms).has_value();
    CallerText();
    return registered;
  }

  // The lines the client sent since the last call, read up to a marker line it sends now, so
  // that "nothing sent" needs no wait.
  std::vector<std::string> SentUpToMarker() {
    client.server_link.SendLine("MARK");
    std::vector<std::string> lines;
    while (auto line = server.WaitForLine("", 2000)) {
      if (*line == "MARK") return lines;
      lines.push_back(*line);
    }
    ADD_FAILURE() << "marker not received";
    return lines;
  }

  // Everything the caller's terminal received since the last call.
  std::string CallerText() { return door_fixture.CallerReceived(); }
  door::Door& door() { return *door_fixture.door; }

  DoorFixture door_fixture;
  TempIni ini;
  ScriptedServer server;
  irc::Client client;
};

}  // namespace testsupport
