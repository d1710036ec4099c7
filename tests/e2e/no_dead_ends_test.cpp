// Handles, command lines and set-ups as real BBSes hand them over, tried with the real binary: every
// one either works or says plainly what is wrong, on the caller's screen.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "support/scripted_server.h"

namespace {

using testsupport::DoorProcess;
using testsupport::IrcPeer;
using testsupport::NgircdServer;
using testsupport::ScriptedServer;

constexpr int kWaitMs = 5000;

std::string Network(int port, std::string_view extra = "channels=#lobby\n") {
  return "[Local]\n127.0.0.1=" + std::to_string(port) + "\n" + std::string(extra);
}

size_t Count(std::string_view haystack, std::string_view needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

// Waits until the caller has received needle count times.
bool WaitForCount(DoorProcess& door, std::string_view needle, size_t count) {
  for (int i = 0; i < kWaitMs / 10; ++i) {
    if (Count(door.CallerReceived(), needle) >= count) return true;
    door.CallerWaitFor("\x01never", 10);
  }
  return false;
}

// The test configuration of ngircd with another nickname length.
std::string NgircdConfWithNickLength(const std::string& dir, int length) {
  std::ifstream in(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  std::stringstream text;
  text << in.rdbuf();
  std::string conf = text.str();
  const std::string key = "MaxNickLength = 30";
  conf.replace(conf.find(key), key.size(), "MaxNickLength = " + std::to_string(length));
  const std::string path = dir + "/ngircd-nicklen.conf";
  std::ofstream(path) << conf;
  return path;
}

// A door visiting a private ngircd, where Bob waits in #lobby.
class NgircdNames : public testsupport::WithUserInLobby<> {
 protected:
  // Bob sees nick join #lobby and finds real_name in its WHOIS.
  void ExpectRegistered(std::string_view nick, std::string_view real_name) {
    ASSERT_TRUE(bob_.WaitFor(":" + std::string(nick) + "!", kWaitMs)) << nick;
    bob_.SendLine("WHOIS " + std::string(nick));
    const std::optional<std::string> whois = bob_.WaitFor(" 311 ", 3000);
    ASSERT_TRUE(whois);
    EXPECT_TRUE(whois->ends_with(" :" + std::string(real_name))) << *whois;
  }
};

// Handles that are no nickname as they stand, by every path a handle takes: -A (also split by a
// BBS that passes it unquoted), the INI file, none at all, and a DOOR32.SYS in code page 437.
TEST_F(NgircdNames, EveryHandleRegisters) {
  const struct {
    const char* name;
    std::string general;
    std::vector<std::string> args;
    std::string nick;
    std::string real_name;
  } cases[] = {
      {"UTF-8 -A", "", {"-ABj\xC3\xB6rn"}, "Bjorn", "Bj\xC3\xB6rn"},
      {"a full stop", "", {"-ADr.", "Who"}, "Dr_Who", "Dr. Who"},
      {"-A split by the BBS", "", {"-AMary", "Sue"}, "Mary_Sue", "Mary Sue"},
      {"-A split before a word like an option", "", {"-AJo", "XLee"}, "Jo_XLee", "Jo XLee"},
      {"longer than 8 and split", "", {"-AWolf", "Larsen"}, "Wolf_Larsen", "Wolf Larsen"},
      {"INI handle", "username=\nhandle=2 Fast 4 You\n", {}, "Fast_4_You", "2 Fast 4 You"},
      {"nickname characters no user name takes", "username=Zeus\nhandle={Zeus}|x\n", {}, "{Zeus}|x", "Zeus"},
      {"no handle at all", "", {"-N5"}, "Guest5", "Guest5"},
      {"an empty INI handle", "username=\nhandle=\n", {"-N7"}, "Guest7", "Guest7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DoorProcess door("[general]\ncharset=cp437\n" + c.general + Network(ngircd_.port()));
    door.StartWithCaller(false, {}, c.args);
    ExpectRegistered(c.nick, c.real_name);
    door.CloseCaller();
    EXPECT_TRUE(bob_.WaitFor("Caller Dropped Carrier", kWaitMs));
    EXPECT_EQ(door.WaitExit(kWaitMs), 0);
  }
}

TEST_F(NgircdNames, DropFileNamesInCodePage437) {
  DoorProcess door("[general]\ncharset=cp437\n" + Network(ngircd_.port()));
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  const std::string path = door.WriteFile(
      "DOOR32.SYS", "2\n" + std::to_string(fds[0]) + "\n0\nBBS\n1\nBj\x94rn Borg\nBj\x94rn\n10\n60\n1\n7\n");
  door.Start({"-D" + path}, fds[0]);
  close(fds[0]);
  ExpectRegistered("Bjorn", "Bj\xC3\xB6rn Borg");
  close(fds[1]);
  EXPECT_TRUE(bob_.WaitFor("Caller Dropped Carrier", kWaitMs));
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// A nickname the caller chose with /NICK is the one the next connect registers, not the handle's.
TEST_F(NgircdNames, TheChosenNicknameLastsIntoTheNextConnect) {
  DoorProcess door("[general]\ncharset=cp437\n" + Network(ngircd_.port()));
  door.StartWithCaller(false, {}, {"-ABj\xC3\xB6rn"});
  ExpectRegistered("Bjorn", "Bj\xC3\xB6rn");
  door.CallerTypes("/nick Bjoern\r");
  ASSERT_TRUE(bob_.WaitFor("NICK :Bjoern", kWaitMs));
  door.CallerTypes("/serverlist\r");
  ASSERT_TRUE(bob_.WaitFor(" QUIT ", kWaitMs));
  const std::optional<std::string> join = bob_.WaitFor(" JOIN ", kWaitMs);
  ASSERT_TRUE(join) << door.CallerReceived();
  EXPECT_TRUE(join->starts_with(":Bjoern!")) << *join;
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// A channel list written with blanks after its commas joins every channel in it.
TEST_F(NgircdNames, ChannelListWithBlanksJoinsEveryChannel) {
  DoorProcess door("[general]\nhandle=Wolf\ncharset=cp437\n" +
                   Network(ngircd_.port(), "channels = #lobby , #help\n"));
  door.StartWithCaller();
  EXPECT_TRUE(door.CallerWaitFor("has joined #lobby", kWaitMs)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("has joined #help", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// A CR inside an INI value ends the value: nothing after it reaches the server as a line.
TEST_F(NgircdNames, LineEndInAnIniValueInjectsNothing) {
  DoorProcess door("[general]\nhandle=Wolf\ncharset=cp437\n" +
                   Network(ngircd_.port(), "channels=#lobby\rPRIVMSG #lobby :injected\n"));
  door.StartWithCaller();
  ASSERT_TRUE(bob_.WaitFor(":Wolf!", kWaitMs));
  door.CallerTypes("/msg Bob done\r");
  ASSERT_TRUE(bob_.WaitFor("PRIVMSG Bob :done", kWaitMs));
  for (const std::string& line : bob_.lines()) EXPECT_EQ(line.find("injected"), std::string::npos) << line;
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// A server with a 9-character limit where the short form is taken: the door goes on by itself and
// tells the caller the nickname they got.
TEST(NgircdNickRetry, RefusedNicknamesAreRetriedUntilOneIsTaken) {
  if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
  DoorProcess door("");
  NgircdServer ngircd(NgircdConfWithNickLength(door.dir(), 9));
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
  IrcPeer taken;
  ASSERT_TRUE(taken.Register(ngircd.port(), "Wolf_Lar"));
  door.WriteFile("zelkirc.ini", "[general]\ncharset=cp437\n" + Network(ngircd.port()));
  door.StartWithCaller(false, {}, {"-AWolf", "Larsen"});
  EXPECT_TRUE(door.CallerWaitFor("You are now known as Wolf_La1", kWaitMs)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("has joined #lobby", kWaitMs)) << door.CallerReceived();
  EXPECT_EQ(Count(door.CallerReceived(), "You are now known as"), 1u);
  // Once registered, a refused /NICK is only told.
  door.CallerTypes("/nick Wolf_Lar\r");
  EXPECT_TRUE(door.CallerWaitFor("Nickname already in use: Wolf_Lar", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// An option without the number it needs ends the door with the reason, instead of a local visit
// that reaches nobody and outlives the caller's hang-up.
TEST(CommandLineEndings, OptionWithoutItsNumberEndsTheDoor) {
  ScriptedServer server;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"-H", "4"}, {"-h"}, {"-Habc"}, {"-N", "x"}}) {
    SCOPED_TRACE(args[0]);
    DoorProcess door("[general]\nhandle=Wolf\n" + Network(server.port()));
    door.Start(args);
    EXPECT_EQ(door.WaitExit(kWaitMs), 0);
    EXPECT_FALSE(server.Accept(0));
  }
  // With a caller on the command line, the caller reads the reason too.
  DoorProcess door("[general]\nhandle=Wolf\ncharset=cp437\n" + Network(server.port()));
  door.StartWithCaller(false, {}, {"-N", "x"});
  EXPECT_TRUE(door.CallerWaitFor("Option -N Needs A Number, Not \" x\"", kWaitMs)) << door.CallerReceived();
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
  EXPECT_FALSE(server.Accept(0));
}

// A set-up that cannot work says what is wrong and where, at the start and at /SERVERLIST.
TEST(BrokenSetUp, TheCallerIsToldWhatIsWrong) {
  const struct {
    const char* name;
    std::string ini;  // empty: no file
    bool unreadable;
    std::string problem;  // after the INI path
  } cases[] = {
      {"no file", "", false, ": file not found"},
      {"file not readable", "[general]\nhandle=Wolf\n[Net]\n127.0.0.1=1\n", true, ": permission denied"},
      {"no network", "[general]\nhandle=Wolf\n", false, ""},
      {"network without servers", "[general]\nhandle=Wolf\n[Empty]\nchannels=#a\n", false,
       " lists no servers"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DoorProcess door(c.ini);
    const std::string path = door.dir() + "/zelkirc.ini";
    if (c.unreadable) {
      chmod(path.c_str(), 0600);
      if (geteuid() == 0) door.RunAs(65534, 65534);  // a BBS that runs doors as another user
    }
    std::string expected = "Cannot read " + path + c.problem;
    if (c.problem.empty()) expected = "No IRC network is set up in " + path;
    if (c.problem == " lists no servers") expected = "Network Empty in " + path + c.problem;
    door.StartWithCaller(false, {}, {"-Ccp437"});
    EXPECT_TRUE(door.CallerWaitFor(expected, kWaitMs)) << door.CallerReceived();
    door.CallerTypes("/serverlist\r");
    door.CallerTypes("/server 127.0.0.1 1\r");
    EXPECT_TRUE(door.CallerWaitFor("The sysop has switched /SERVER off", kWaitMs)) << door.CallerReceived();
    EXPECT_EQ(Count(door.CallerReceived(), expected), 2u);
    // Typed text goes nowhere and says why; a marker after it shows when it has been handled.
    door.CallerTypes("hello\r/server 127.0.0.1 1\r");
    ASSERT_TRUE(WaitForCount(door, "The sysop has switched /SERVER off", 2));
    const bool no_servers = c.problem == " lists no servers";
    EXPECT_EQ(Count(door.CallerReceived(), "Not connected: /SERVERLIST connects to a network"),
              no_servers ? 1u : 0u);
    EXPECT_EQ(Count(door.CallerReceived(), expected), no_servers ? 2u : 3u);
    door.CallerTypes("/quit\r");
    EXPECT_EQ(door.WaitExit(kWaitMs), 0);
  }
}

// A network without servers picked from the menu of several says so, and the menu is there again
// at /SERVERLIST for another choice.
TEST(BrokenSetUp, ANetworkWithoutServersPickedFromTheMenuSaysSo) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\n[Empty]\nchannels=#a\n[Good]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\n");
  door.StartWithCaller(false, {}, {"-Ccp437"});
  ASSERT_TRUE(door.CallerWaitFor("  Your Choice: ", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("a");
  const std::string expected = "Network Empty in " + door.dir() + "/zelkirc.ini lists no servers";
  EXPECT_TRUE(door.CallerWaitFor(expected, kWaitMs)) << door.CallerReceived();
  EXPECT_FALSE(server.Accept(0));
  door.CallerTypes("/serverlist\r");
  ASSERT_TRUE(WaitForCount(door, "  Your Choice: ", 2)) << door.CallerReceived();
  door.CallerTypes("b");
  EXPECT_TRUE(server.Accept(kWaitMs)) << door.CallerReceived();
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// Exact bytes: names from the user record and INI values carry no control byte and no line end
// into the IRC stream.
TEST(CleanNames, DropFileNamesLoseTheirControlBytes) {
  ScriptedServer server;
  DoorProcess door("[general]\ncharset=cp437\n" + Network(server.port()));
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  std::string drop = "2\n" + std::to_string(fds[0]) + "\n0\nBBS\n1\nJoe\x07\x01 Smith";
  drop += std::string(1, '\0') + "x\nWo\x1B[2Jlf\n10\n60\n1\n1\n";
  const std::string path = door.WriteFile("DOOR32.SYS", drop);
  door.Start({"-D" + path}, fds[0]);
  close(fds[0]);
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
  EXPECT_EQ(server.received(),
            "CAP LS 302\r\nNICK Wo[2Jlf\r\nUSER Wo2Jlf localhost localhost :Joe Smithx\r\n");
  close(fds[1]);
  EXPECT_TRUE(server.WaitForLine("QUIT", kWaitMs));
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

TEST(CleanNames, IniValuesEndAtALineEnd) {
  ScriptedServer server;
  DoorProcess door("[general]\ncharset=cp437\nusername=Joe\rQUIT :gone\nhandle=Wolf\n" +
                   Network(server.port(), "channels=#a\rPRIVMSG #x :injected\n"));
  door.StartWithCaller();
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
  server.SendLine(":irc.test 001 Wolf :Welcome");
  server.SendLine(":irc.test 376 Wolf :End of MOTD");
  ASSERT_TRUE(server.WaitForLine("JOIN", kWaitMs));
  door.CallerTypes("/quit\r");
  ASSERT_TRUE(server.WaitForLine("QUIT", kWaitMs));
  EXPECT_EQ(
      server.received(),
      "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe\r\nJOIN #a\r\nQUIT :ZelkIRC v1.32\r\n");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// Switch keys read yes, true and numbers alike: /SERVER with server = yes connects, with server = 0
// it says it is off; pass = yes or true asks for the login and sends the password.
TEST(SwitchWords, YesTrueAndNumbersMeanWhatTheySay) {
  for (const auto& [setting, on] : {std::pair{"yes", true}, std::pair{"0", false}}) {
    SCOPED_TRACE(std::string("server = ") + setting);
    ScriptedServer server, other;
    DoorProcess door("[general]\nhandle=Wolf\ncharset=cp437\nserver = " + std::string(setting) + "\n" +
                     Network(server.port()));
    door.StartWithCaller();
    ASSERT_TRUE(server.Accept(kWaitMs));
    ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
    door.CallerTypes("/server 127.0.0.1 " + std::to_string(other.port()) + "\r");
    if (on) {
      EXPECT_TRUE(other.Accept(kWaitMs));
      EXPECT_TRUE(other.WaitForLine("NICK Wolf", kWaitMs)) << other.received();
    } else {
      EXPECT_TRUE(door.CallerWaitFor("The sysop has switched /SERVER off", kWaitMs)) << door.CallerReceived();
      EXPECT_FALSE(other.Accept(0));
    }
    door.CallerTypes("/quit\r");
    EXPECT_EQ(door.WaitExit(kWaitMs), 0);
  }
  for (const char* setting : {"yes", "true"}) {
    SCOPED_TRACE(std::string("pass = ") + setting);
    ScriptedServer server;
    DoorProcess door("[general]\nhandle=Wolf\ncharset=cp437\n" +
                     Network(server.port(), "pass = " + std::string(setting) + "\n"));
    door.StartWithCaller();
    ASSERT_TRUE(door.CallerWaitFor("Please Enter Your User Name: ", kWaitMs)) << door.CallerReceived();
    door.CallerTypes("Wolf\r");
    ASSERT_TRUE(door.CallerWaitFor("Please Enter Your Password:  ", kWaitMs)) << door.CallerReceived();
    door.CallerTypes("secret\r");
    ASSERT_TRUE(server.Accept(kWaitMs));
    EXPECT_TRUE(server.WaitForLine("PASS :secret", kWaitMs)) << server.received();
    door.CallerTypes("/quit\r");
    EXPECT_EQ(door.WaitExit(kWaitMs), 0);
  }
}

// One-character lines are chat; only q, x, quit and exit get the hint.
TEST(ShortLines, AreSentButQuitWordsGetTheHint) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\ncharset=cp437\n" + Network(server.port()));
  door.StartWithCaller();
  ASSERT_TRUE(server.AcceptIntoChannel("#chan", kWaitMs)) << server.received();
  ASSERT_TRUE(door.CallerWaitFor("[#chan] ", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("k\r");
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chan :k", kWaitMs));
  door.CallerTypes("Q\r");
  EXPECT_TRUE(door.CallerWaitFor("If You Want To Quit, Type /QUIT", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("exit\r");
  EXPECT_TRUE(WaitForCount(door, "If You Want To Quit, Type /QUIT", 2)) << door.CallerReceived();
  door.CallerTypes("quit now\r");
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chan :quit now", kWaitMs));
  door.CallerTypes("?\r");
  EXPECT_TRUE(server.WaitForLine("PRIVMSG #chan :?", kWaitMs));
  door.CallerTypes("/quit\r");
  ASSERT_TRUE(server.WaitForLine("QUIT", kWaitMs));
  EXPECT_EQ(Count(server.received(), "PRIVMSG"), 3u) << server.received();
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

}  // namespace
