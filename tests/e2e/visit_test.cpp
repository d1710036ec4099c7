// Whole visits of the real binary: a caller socket handed over with -H, and a real IRC server
// (a private ngircd) or a scripted one for exact bytes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "support/scripted_server.h"
#include "support/temp_ini.h"

namespace {

using testsupport::DoorProcess;
using testsupport::IrcPeer;
using testsupport::NgircdServer;
using testsupport::ScriptedServer;
using testsupport::WithoutEscapes;

std::string LocalIni(int port, std::string_view general_extra = "") {
  return "[general]\nusername=Joe Smith\nhandle=Wolf\nserver=1\n" + std::string(general_extra) +
         "\n[Local]\n127.0.0.1=" + std::to_string(port) + "\nchannels=#lobby\n";
}

class NgircdVisit : public testsupport::WithUserInLobby<> {
 protected:
  // Starts the door for a caller and waits until it has joined #lobby.
  void StartDoor(DoorProcess& door) {
    door.StartWithCaller();
    ASSERT_TRUE(bob_.WaitFor(":Wolf!", 5000)) << door.CallerReceived();
    ASSERT_TRUE(door.CallerWaitFor("has joined #lobby", 5000)) << door.CallerReceived();
    ASSERT_TRUE(door.CallerWaitFor("[#lobby] ", 5000)) << door.CallerReceived();
  }
};

TEST_F(NgircdVisit, ChatBothWaysMsgMeCtcpAndQuit) {
  DoorProcess door(LocalIni(ngircd_.port()));
  StartDoor(door);

  door.CallerTypes("hello bob\r");
  EXPECT_TRUE(bob_.WaitFor("PRIVMSG #lobby :hello bob", 3000));
  bob_.SendLine("PRIVMSG #lobby :hi wolf");
  EXPECT_TRUE(door.CallerWaitFor("hi wolf", 3000)) << door.CallerReceived();

  door.CallerTypes("/msg Bob just you\r");
  EXPECT_TRUE(bob_.WaitFor("PRIVMSG Bob :just you", 3000));
  bob_.SendLine("PRIVMSG Wolf :back at you");
  EXPECT_TRUE(door.CallerWaitFor("back at you", 3000));

  door.CallerTypes("/me waves\r");
  EXPECT_TRUE(
      bob_.WaitFor("PRIVMSG #lobby :\x01"
                   "ACTION waves\x01",
                   3000));

  bob_.SendLine("PRIVMSG Wolf :\x01VERSION\x01");
  EXPECT_TRUE(bob_.WaitFor("NOTICE Bob :\x01VERSION ZelkIRC v1.32\x01", 3000));
  EXPECT_TRUE(door.CallerWaitFor("requested VERSION", 3000));

  door.CallerTypes("/quit see you\r");
  EXPECT_TRUE(bob_.WaitFor("ZelkIRC v1.32 (see you)", 3000));
  EXPECT_EQ(door.WaitExit(5000), 0);
  EXPECT_EQ(door.Stdout(), "");
}

TEST_F(NgircdVisit, CarrierLossSaysGoodbyeWithinASecond) {
  DoorProcess door(LocalIni(ngircd_.port()));
  StartDoor(door);
  auto start = std::chrono::steady_clock::now();
  door.CloseCaller();
  EXPECT_TRUE(bob_.WaitFor("Caller Dropped Carrier", 3000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(door.WaitExit(5000), 0);
}

TEST_F(NgircdVisit, IdleLimitSaysGoodbye) {
  DoorProcess door(LocalIni(ngircd_.port(), "idletime=2\n"));
  StartDoor(door);
  EXPECT_TRUE(bob_.WaitFor("Idle Timelimit Exceeded", 6000));
  EXPECT_TRUE(door.CallerWaitFor("Idle Time Limit Exceeded.  Returning To BBS...", 3000));
  EXPECT_EQ(door.WaitExit(5000), 0);
}

// Exact bytes against scripted servers: registration, the network menu, /SERVER, time expiry.
TEST(ScriptedVisit, NetworkMenuThenServerSwitch) {
  ScriptedServer net_a, net_b, other;
  DoorProcess door("[general]\nusername=Joe Smith\nhandle=Big Bad Wolf\nserver=1\n[NetA]\n127.0.0.1=" +
                   std::to_string(net_a.port()) + "\n[NetB]\n127.0.0.1=" + std::to_string(net_b.port()) +
                   "\n");
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("  Your Choice: ", 5000)) << door.CallerReceived();
  EXPECT_NE(door.CallerReceived().find("     A) NetA\r\n     B) NetB\r\n"), std::string::npos);
  door.CallerTypes("7b");
  ASSERT_TRUE(net_b.Accept(5000));
  ASSERT_TRUE(net_b.WaitForLine("USER ", 3000));
  EXPECT_EQ(net_b.received(),
            "CAP LS 302\r\nNICK Big_Bad_Wolf\r\nUSER Big_Bad_Wolf localhost localhost :Joe Smith\r\n");
  EXPECT_FALSE(net_a.Accept(50));

  door.CallerTypes("/server 127.0.0.1 " + std::to_string(other.port()) + "\r");
  EXPECT_TRUE(net_b.WaitForLine("QUIT :ZelkIRC v1.32 (Changing Servers)", 3000));
  ASSERT_TRUE(other.Accept(5000));
  EXPECT_TRUE(other.WaitForLine("NICK Big_Bad_Wolf", 3000));
  other.SendLine("PING :abc");
  EXPECT_TRUE(other.WaitForLine("PONG :abc", 3000));
  door.CallerTypes("/quit\r");
  EXPECT_TRUE(other.WaitForLine("QUIT :ZelkIRC v1.32", 3000));
  EXPECT_EQ(door.WaitExit(5000), 0);
}

TEST(ScriptedVisit, TimeExpirySaysGoodbye) {
  ScriptedServer server;
  DoorProcess door("[Local]\n127.0.0.1=" + std::to_string(server.port()) + "\n");
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const std::string path = door.WriteFile(
      "DOOR32.SYS", "2\n" + std::to_string(fds[0]) + "\n0\nBBS\n1\nJoe Smith\nWolf\n10\n0\n1\n1\n");
  door.Start({"-D" + path}, fds[0]);
  close(fds[0]);
  ASSERT_TRUE(server.Accept(5000));
  EXPECT_TRUE(server.WaitForClose(5000));
  EXPECT_EQ(
      server.received(),
      "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\nQUIT :ZelkIRC v1.32 (Time "
      "Expired)\r\n");
  EXPECT_EQ(door.WaitExit(5000), 0);
  close(fds[1]);
}

// The password a caller types reaches the server whole: blanks and a leading colon included.
TEST(PasswordVisit, PasswordsWithABlankOrALeadingColonAreTakenByTheServer) {
  if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
  std::stringstream conf;
  conf << std::ifstream(ZELK_SOURCE_DIR "/tests/data/ngircd.conf").rdbuf();
  for (const std::string password : {"two words", ":lead"}) {
    SCOPED_TRACE(password);
    std::string text = conf.str();
    text.insert(text.find("[Global]\n") + 9, "\tPassword = " + password + "\n");
    testsupport::TempIni with_password(text);
    NgircdServer ngircd(with_password.path());
    ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
    DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                     std::to_string(ngircd.port()) + "\npass=1\nchannels=#pw\n");
    door.StartWithCaller();
    ASSERT_TRUE(door.CallerLogsIn("Wolf", password, 5000)) << door.CallerReceived();
    EXPECT_TRUE(door.CallerWaitFor("has joined #pw", 5000)) << door.CallerReceived();
    door.CallerTypes("/quit\r");
    EXPECT_EQ(door.WaitExit(5000), 0);
  }
}

// A paste larger than the pacing queue: the lines it drops are neither shown as sent nor sent,
// and one notice counts them.
TEST(PasteVisit, DroppedLinesAreNotShownAsSent) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\nchannels=#chat\n");
  door.StartWithCaller();
  ASSERT_TRUE(server.Accept(5000));
  ASSERT_TRUE(server.WaitForLine("USER ", 5000));
  server.SendLine(":irc.test 001 Wolf :Welcome");
  server.SendLine(":irc.test 376 Wolf :End of MOTD");
  ASSERT_TRUE(server.WaitForLine("JOIN #chat", 5000));
  server.SendLine(":Wolf!w@host JOIN #chat");
  ASSERT_TRUE(door.CallerWaitFor("[#chat] ", 5000)) << door.CallerReceived();

  std::string paste;
  char line[32];
  for (int i = 1; i <= 100; ++i) {
    snprintf(line, sizeof line, "pasted line %03d\r", i);
    paste += line;
  }
  door.CallerTypes(paste);
  ASSERT_TRUE(door.CallerWaitFor("lines dropped", 10'000)) << door.CallerReceived();
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chat :pasted line 005", 5000));
  const std::string shown = WithoutEscapes(door.CallerReceived());
  int echoed = 0;
  for (size_t at = shown.find("<Wolf:#chat> pasted line "); at != std::string::npos;
       at = shown.find("<Wolf:#chat> pasted line ", at + 1))
    ++echoed;
  // Five at once and a full queue of 32 behind them; the rest is dropped.
  EXPECT_EQ(echoed, 37);
  EXPECT_NE(shown.find("<Wolf:#chat> pasted line 037"), std::string::npos);
  EXPECT_EQ(shown.find("<Wolf:#chat> pasted line 038"), std::string::npos);
  EXPECT_NE(shown.find("Too many lines waiting to be sent; 63 lines dropped"), std::string::npos) << shown;
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

}  // namespace
