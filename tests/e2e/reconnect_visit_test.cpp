// Whole visits of the real binary through a server that goes away: the caller is told at once,
// what they type meanwhile is refused with a message, and the door comes back into the channel by
// itself; a connect under way can be left with Esc or /QUIT. Scripted servers for exact bytes, a
// private ngircd stopped and killed mid-visit for the real thing.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "support/scripted_server.h"
#include "support/sockets.h"
#include "support/temp_ini.h"

namespace {

using testsupport::DoorProcess;
using testsupport::FullListener;
using testsupport::IrcPeer;
using testsupport::NgircdServer;
using testsupport::ScriptedServer;
using testsupport::WithoutEscapes;
using SteadyClock = std::chrono::steady_clock;

// Waits until the caller has received needle after the first `from` bytes of the visit.
bool CallerSeesAfter(DoorProcess& door, size_t from, std::string_view needle, int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (door.CallerReceived().find(needle, from) != std::string::npos) return true;
    if (SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

int64_t MsSince(SteadyClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

std::string NetworkIni(int port, std::string_view channels) {
  return testsupport::OneNetworkIni(port, testsupport::kWolfGeneral,
                                    "channels=" + std::string(channels) + "\n");
}

// The scripted server takes the door's registration, welcomes it and confirms the join of #chat.
void WelcomeIntoChat(ScriptedServer& server, DoorProcess& door) {
  ASSERT_TRUE(server.Accept(6000)) << door.CallerReceived();
  ASSERT_TRUE(server.WaitForLine("USER ", 3000));
  server.SendLine(":irc.test 001 Wolf :Welcome");
  server.SendLine(":irc.test 376 Wolf :End of MOTD");
  ASSERT_TRUE(server.WaitForLine("JOIN #chat", 3000)) << server.received();
  server.SendLine(":Wolf!w@host JOIN :#chat");
}

TEST(ReconnectVisit, DropInChatIsToldTypingIsRefusedAndTheDoorRejoins) {
  ScriptedServer server;
  DoorProcess door(NetworkIni(server.port(), "#chat"));
  door.StartWithCaller();
  WelcomeIntoChat(server, door);
  ASSERT_TRUE(door.CallerWaitFor("[#chat] ", 3000)) << door.CallerReceived();

  size_t mark = door.CallerReceived().size();
  const auto dropped = SteadyClock::now();
  server.Close();
  ASSERT_TRUE(CallerSeesAfter(door, mark, ": Connection closed by the server", 2000))
      << door.CallerReceived().substr(mark);
  EXPECT_LT(MsSince(dropped), 500);
  EXPECT_NE(door.CallerReceived().find("Connection to 127.0.0.1 lost after ", mark), std::string::npos);
  ASSERT_TRUE(CallerSeesAfter(door, mark, "Reconnecting in ", 1000));
  ASSERT_TRUE(CallerSeesAfter(door, mark, "[#chat] ", 1000));

  mark = door.CallerReceived().size();
  door.CallerTypes("hello anyone\r");
  EXPECT_TRUE(CallerSeesAfter(door, mark, "Not connected: line not sent", 1000))
      << door.CallerReceived().substr(mark);

  // Back on its own after the first step of the back-off, into #chat, with #chat still the prompt.
  WelcomeIntoChat(server, door);
  EXPECT_LT(MsSince(dropped), 4000);
  EXPECT_TRUE(CallerSeesAfter(door, mark, "has joined #chat", 3000));
  EXPECT_EQ(server.received().find("hello anyone"), std::string::npos);
  door.CallerTypes("hello again\r");
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chat :hello again", 3000));
  door.CallerTypes("/quit\r");
  EXPECT_TRUE(server.WaitForLine("QUIT :ZelkIRC v1.32", 3000));
  EXPECT_EQ(door.WaitExit(5000), 0);
}

// A server that refuses the registration with ERROR and closes: the caller reads the ERROR line
// with the status marker (its text in dark grey), then a status line that the link is lost and why.
TEST(ReconnectVisit, ServerErrorIsShownWithItsMarkerThenTheLoss) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\ncharset=cp437\nreconnect=no\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\n");
  door.StartWithCaller();
  ASSERT_TRUE(server.Accept(6000)) << door.CallerReceived();
  ASSERT_TRUE(server.WaitForLine("USER ", 3000));
  server.SendLine("ERROR :Invalid user name");
  server.Close();
  ASSERT_TRUE(door.CallerWaitFor("type /SERVERLIST to connect again", 3000)) << door.CallerReceived();
  // Each shown line, the colour and cursor sequences taken out (the prompt erased before a line
  // stays in the text).
  const std::string shown = WithoutEscapes(door.CallerReceived());
  const auto line_with = [&shown](std::string_view text) {
    const size_t at = shown.find(text);
    if (at == std::string::npos) return std::string();
    const size_t start = shown.rfind('\n', at) + 1;
    return shown.substr(start, shown.find('\r', at) - start);
  };
  const std::string marker = "\xF9\xED\xF9 ";
  EXPECT_EQ(line_with("ERROR: "), "[Status] " + marker + "ERROR: Invalid user name") << shown;
  const std::string lost = line_with("Connection to ");
  EXPECT_TRUE(lost.starts_with("[Status] " + marker + "Connection to 127.0.0.1 lost after ")) << shown;
  EXPECT_TRUE(lost.ends_with(": Invalid user name")) << shown;
  EXPECT_EQ(line_with("Disconnected"), marker + "Disconnected; type /SERVERLIST to connect again") << shown;
  // The ERROR text in dark grey, as the server's other plain lines.
  EXPECT_NE(door.CallerReceived().find("\x1b[1;30mERROR: Invalid user name"), std::string::npos);
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

// While the door waits to reconnect, /QUIT, the caller's hang-up and the BBS's termination signal
// end the visit as at any other time, long before the next attempt.
TEST(ReconnectVisit, WaitEndsAtOnceOnQuitHangUpOrSignal) {
  for (const std::string_view how : {"quit", "hang-up", "signal"}) {
    SCOPED_TRACE(how);
    ScriptedServer server;
    DoorProcess door(NetworkIni(server.port(), "#chat"));
    door.StartWithCaller();
    WelcomeIntoChat(server, door);
    ASSERT_TRUE(door.CallerWaitFor("[#chat] ", 3000));
    server.StopListening();
    server.Close();
    ASSERT_TRUE(door.CallerWaitFor("Reconnecting in ", 2000)) << door.CallerReceived();
    const auto start = SteadyClock::now();
    if (how == "quit") {
      door.CallerTypes("/quit\r");
    } else if (how == "hang-up") {
      door.CloseCaller();
    } else {
      door.Signal(SIGTERM);
    }
    EXPECT_EQ(door.WaitExit(4000), 0);
    // A hang-up is seen at the next tick (750 ms), and both endings pause 1.5 s to be read.
    EXPECT_LT(MsSince(start), how == "quit" ? 1000 : 2600);
  }
}

// The caller leaves a connect that gets no answer at once: Esc stops it with a line and the door
// stays; /QUIT ends the visit. A line typed meanwhile is refused with a message.
TEST(ReconnectVisit, ConnectUnderWayIsLeftWithEscOrQuit) {
  FullListener full;
  {
    DoorProcess door(NetworkIni(full.port(), ""));
    door.StartWithCaller();
    ASSERT_TRUE(door.CallerWaitFor("Connecting to 127.0.0.1", 5000)) << door.CallerReceived();
    // A line typed meanwhile is echoed and refused with a message, not lost in silence.
    const size_t mark = door.CallerReceived().size();
    door.CallerTypes("hello\r");
    EXPECT_TRUE(CallerSeesAfter(door, mark, "Not connected yet: line not sent", 1000))
        << door.CallerReceived().substr(mark);
    EXPECT_NE(door.CallerReceived().find("hello", mark), std::string::npos);
    const auto start = SteadyClock::now();
    door.CallerTypes("\x1B");
    EXPECT_TRUE(door.CallerWaitFor("Connecting stopped", 2000)) << door.CallerReceived();
    EXPECT_LT(MsSince(start), 1000);
    EXPECT_TRUE(door.CallerWaitFor("[Status] ", 1000));
    door.CallerTypes("/quit\r");
    EXPECT_EQ(door.WaitExit(3000), 0);
  }
  {
    DoorProcess door(NetworkIni(full.port(), ""));
    door.StartWithCaller();
    ASSERT_TRUE(door.CallerWaitFor("Connecting to 127.0.0.1", 5000)) << door.CallerReceived();
    const auto start = SteadyClock::now();
    door.CallerTypes("/quit\r");
    EXPECT_EQ(door.WaitExit(3000), 0);
    EXPECT_LT(MsSince(start), 1000);
  }
}

// A private ngircd restarted by its administrator (SIGTERM) or killed (SIGKILL) while the caller
// sits in #lobby: the door reconnects and rejoins once it is back, and the other user sees it.
class NgircdRestart : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
    ASSERT_TRUE(ngircd_.Start()) << ngircd_.Log();
  }

  NgircdServer ngircd_{ZELK_SOURCE_DIR "/tests/data/ngircd.conf"};
};

TEST_P(NgircdRestart, DoorReconnectsAndRejoins) {
  const bool killed = GetParam();
  DoorProcess door(NetworkIni(ngircd_.port(), "#lobby"));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("has joined #lobby", 5000)) << door.CallerReceived();
  ASSERT_TRUE(door.CallerWaitFor("[#lobby] ", 3000));

  size_t mark = door.CallerReceived().size();
  const auto stopped = SteadyClock::now();
  killed ? ngircd_.Kill() : ngircd_.Stop();
  ASSERT_TRUE(CallerSeesAfter(door, mark, "Connection to 127.0.0.1 lost after ", 2000))
      << door.CallerReceived().substr(mark);
  EXPECT_LT(MsSince(stopped), 1500);
  ASSERT_TRUE(CallerSeesAfter(door, mark, "Reconnecting in ", 1000));

  // Down for longer than the first step: one attempt is refused and said so.
  ASSERT_TRUE(CallerSeesAfter(door, mark, "Reconnect to 127.0.0.1 failed; next try in ", 5000))
      << door.CallerReceived().substr(mark);
  mark = door.CallerReceived().size();
  ASSERT_TRUE(ngircd_.Restart()) << ngircd_.Log();
  IrcPeer bob;
  ASSERT_TRUE(testsupport::UserJoins(bob, ngircd_.port()));
  EXPECT_TRUE(CallerSeesAfter(door, mark, "has joined #lobby", 10000)) << door.CallerReceived().substr(mark);
  door.CallerTypes("back again\r");
  EXPECT_TRUE(bob.WaitFor("PRIVMSG #lobby :back again", 3000));
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

INSTANTIATE_TEST_SUITE_P(StopAndKill, NgircdRestart, ::testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Killed" : "Stopped";
                         });

}  // namespace
