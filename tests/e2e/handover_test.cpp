// Every way a Linux BBS hands the door its caller, through the stand-in BBS (zelkbbs) and the real
// binary on a private ngircd: one row per hand-over style. In each a whole visit (chat both ways)
// and a hang-up that must give the IRC QUIT line promptly and end the door with exit code 0. The
// hang-up-to-QUIT times are printed as figures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/bbs_process.h"
#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "support/pseudo_terminal.h"
#include "support/scripted_server.h"
#include "support/sockets.h"
#include "support/temp_ini.h"

namespace {

using namespace std::string_literals;
using testsupport::BbsProcess;
using testsupport::IrcPeer;
using testsupport::NgircdServer;

struct Style {
  const char* name;
  std::vector<std::string> options;
  const char* nick;  // from -A "Guest 1", or from the drop file
  bool raw_telnet;   // the caller's telnet bytes reach the door undecoded
  bool on_terminal;  // the door runs on a pseudo-terminal
};

void PrintTo(const Style& style, std::ostream* out) {
  *out << style.name;
}

const Style kStyles[] = {
    {"socket", {"--style", "socket"}, "Guest_1", true, false},
    {"socket_dropfile", {"--style", "socket", "--dropfile"}, "Caller1", true, false},
    {"stdio_pty", {"--style", "stdio"}, "Guest_1", false, true},
    {"stdio_pty_dropfile_handle0", {"--style", "stdio", "--dropfile"}, "Caller1", false, true},
    {"stdio_pipes", {"--style", "pipes"}, "Guest_1", false, false},
    {"connect_back_port", {"--style", "port"}, "Guest_1", true, false},
    {"connect_back_unix", {"--style", "unix", "--dropfile"}, "Caller1", true, false},
};

std::string Ini(int port) {
  return testsupport::OneNetworkIni(port, "username=Sysop\nhandle=Sysop\n", "channels=#lobby\n");
}

// How often text occurs in s.
int Count(const std::string& s, const std::string& text) {
  int n = 0;
  for (size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1)) ++n;
  return n;
}

class HandOver : public testsupport::WithUserInLobby<::testing::TestWithParam<Style>> {};

TEST_P(HandOver, VisitThenHangUpSaysGoodbye) {
  const Style& style = GetParam();
  BbsProcess bbs(Ini(ngircd_.port()));
  ASSERT_TRUE(bbs.Start(style.options)) << bbs.Log();
  ASSERT_TRUE(bbs.Call());
  ASSERT_TRUE(bob_.WaitFor(":"s + style.nick + "!", 5000)) << bbs.Log() << bbs.CallerReceived();
  ASSERT_TRUE(bbs.CallerWaitFor("has joined #lobby", 5000)) << bbs.CallerReceived();
  ASSERT_TRUE(bbs.CallerWaitFor("[#lobby] ", 5000)) << bbs.CallerReceived();

  if (style.raw_telnet) {
    // What a telnet client sends on its own: window size and terminal type, with 0x18 (Ctrl-X)
    // and NUL inside, then a pasted pair of lines ending in the telnet Enter, CR NUL.
    bbs.CallerTypes("\xFF\xFB\x1F\xFF\xFA\x1F\x00\x50\x00\x19\xFF\xF0"s);
    bbs.CallerTypes("\xFF\xFB\x18\xFF\xFA\x18\x00xterm\xFF\xF0"s);
    bbs.CallerTypes("first line\r\0second\xFF\xFF line\r\0"s);
    EXPECT_TRUE(bob_.WaitFor("PRIVMSG #lobby :first line", 3000));
    EXPECT_TRUE(bob_.WaitFor("PRIVMSG #lobby :second", 3000));
    // The door's own offers put a telnet client into character mode.
    EXPECT_NE(bbs.CallerReceived().find("\xFF\xFB\x01\xFF\xFB\x03"), std::string::npos);
  }

  const size_t before = bbs.CallerReceived().size();
  // One key at a time: Ctrl-X switches the target before any Enter.
  bbs.CallerTypes("\x18");
  ASSERT_TRUE(bbs.CallerWaitFor("[Status] ", 3000)) << bbs.CallerReceived().substr(before);
  bbs.CallerTypes("\x18zebra7\r");
  ASSERT_TRUE(bob_.WaitFor("PRIVMSG #lobby :zebra7", 3000)) << bbs.CallerReceived().substr(before);
  bob_.SendLine("PRIVMSG #lobby :hi from bob");
  ASSERT_TRUE(bbs.CallerWaitFor("hi from bob", 3000));
  const std::string seen = bbs.CallerReceived().substr(before);
  // Echoed once by the door and shown once as the sent line; a cooked terminal would echo it too.
  EXPECT_EQ(Count(seen, "zebra7"), 2) << seen;
  if (style.on_terminal) {
    // Nothing of a sysop's screen: no alternate screen, no status line.
    const std::string& all = bbs.CallerReceived();
    EXPECT_EQ(all.find("\x1b[?1049h"), std::string::npos);
    EXPECT_EQ(all.find("TIME: "), std::string::npos);
  }

  const auto hang_up = std::chrono::steady_clock::now();
  bbs.HangUp();
  EXPECT_TRUE(bob_.WaitFor("Caller Dropped Carrier", 3000));
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - hang_up)
          .count();
  std::printf("[ figure   ] %s: hang-up to QUIT %lld ms\n", style.name, static_cast<long long>(ms));
  RecordProperty("hang_up_to_quit_ms", static_cast<int>(ms));
  EXPECT_TRUE(bbs.LogWaitFor("caller hung up", 3000)) << bbs.Log();
  EXPECT_TRUE(bbs.LogWaitFor("door ended with exit code 0", 5000)) << bbs.Log();
}

INSTANTIATE_TEST_SUITE_P(Styles, HandOver, ::testing::ValuesIn(kStyles),
                         [](const ::testing::TestParamInfo<Style>& info) {
                           return std::string(info.param.name);
                         });

// On a terminal the door leaves the caller's terminal modes as it found them when the visit ends.
TEST(HandOverTerminal, QuitRestoresTheTerminalModes) {
  if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
  BbsProcess bbs(Ini(ngircd.port()));
  ASSERT_TRUE(bbs.Start({"--style", "stdio"})) << bbs.Log();
  ASSERT_TRUE(bbs.Call());
  ASSERT_TRUE(bbs.CallerWaitFor("[#lobby] ", 5000)) << bbs.CallerReceived();
  bbs.CallerTypes("/quit\r");
  EXPECT_TRUE(bbs.LogWaitFor("terminal modes ", 5000)) << bbs.Log();
  EXPECT_NE(bbs.Log().find("terminal modes restored"), std::string::npos) << bbs.Log();
  EXPECT_TRUE(bbs.LogWaitFor("door ended with exit code 0", 5000)) << bbs.Log();
}

// A visit that the caller ends with /QUIT: no hang-up to time the ending from, and the node's
// folder for its drop file is gone with it.
TEST(HandOverTerminal, QuitLeavesNoNodeFolderAndNoHangUpTime) {
  if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
  BbsProcess bbs(Ini(ngircd.port()));
  ASSERT_TRUE(bbs.Start({"--style", "socket", "--dropfile"})) << bbs.Log();
  ASSERT_TRUE(bbs.Call());
  ASSERT_TRUE(bbs.CallerWaitFor("[#lobby] ", 5000)) << bbs.CallerReceived();
  const std::string folder = "/tmp/zelkbbs-" + std::to_string(bbs.pid()) + "-node1";
  EXPECT_TRUE(std::filesystem::exists(folder + "/door32.sys")) << folder;
  bbs.CallerTypes("/quit\r");
  ASSERT_TRUE(bbs.LogWaitFor("door ended with exit code 0", 5000)) << bbs.Log();
  EXPECT_EQ(bbs.Log().find("after the hang-up"), std::string::npos) << bbs.Log();
  bbs.HangUp();
  for (int tries = 0; tries < 100 && std::filesystem::exists(folder); ++tries) bbs.LogWaitFor("\x01", 20);
  EXPECT_FALSE(std::filesystem::exists(folder)) << folder;
}

}  // namespace

namespace {

using testsupport::DoorProcess;

// Start-ups that must end at once with exit code 0 and nothing on standard output: a serial port
// in the drop file, a connect-back that nobody answers.
TEST(HandOverEdges, UnreachableCallersEndWithNoCarrier) {
  const struct {
    const char* name;
    std::vector<std::string> args;
  } cases[] = {
      {"serial drop file", {"-D@DIR@/door32.sys"}},
      {"port nobody listens on", {"-P1"}},
      {"port not a number", {"-Pnone"}},
      {"missing socket path", {"-U@DIR@/no.sock"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DoorProcess door("[general]\nhandle=Wolf\n");
    door.WriteFile("door32.sys", "1\n1\n115200\nBBS\n1\nJoe\nJoe\n10\n30\n1\n1\n");
    std::vector<std::string> args;
    for (std::string a : c.args) {
      const size_t at = a.find("@DIR@");
      if (at != std::string::npos) a.replace(at, 5, door.dir());
      args.push_back(a);
    }
    door.Start(args);
    EXPECT_EQ(door.WaitExit(5000), 0);
    EXPECT_EQ(door.Stdout(), "");
  }
}

// A BBS may name a terminal with -H: the door takes it raw for the visit (no telnet on it) and
// leaves its modes as they were.
TEST(HandOverEdges, HandleOnATerminalIsTakenRawAndRestored) {
  testsupport::PseudoTerminal pty;
  {
    DoorProcess door("[general]\nhandle=Wolf\n");
    door.Start({"-H" + std::to_string(pty.slave())}, pty.slave());
    const std::string seen = pty.ReadUntil("[Status] ", 5000);
    ASSERT_NE(seen.find("[Status] "), std::string::npos) << seen;
    EXPECT_EQ(seen.find('\xFF'), std::string::npos) << "no telnet offers on a terminal";
    EXPECT_EQ(pty.Modes().c_lflag & (ICANON | ECHO), 0u);
    testsupport::WriteAll(pty.master(), "/quit\r");
    EXPECT_EQ(door.WaitExit(5000), 0);
  }
  const termios after = pty.Modes();
  EXPECT_EQ(after.c_lflag, pty.modes_at_start().c_lflag);
  EXPECT_EQ(after.c_iflag, pty.modes_at_start().c_iflag);
  EXPECT_EQ(after.c_oflag, pty.modes_at_start().c_oflag);
}

// The [general] telnet key: yes and no (as words or numbers) force it, anything else leaves it
// to the connection, which here is a socket.
TEST(HandOverEdges, TelnetKeyTurnsTheOffersOnAndOff) {
  const struct {
    const char* line;
    bool offers;
  } cases[] = {
      {"", true}, {"telnet=auto", true}, {"telnet=no", false}, {"telnet=0", false}, {"telnet=yes", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    DoorProcess door("[general]\nhandle=Wolf\n" + std::string(c.line) + "\n");
    door.StartWithCaller();
    ASSERT_TRUE(door.CallerWaitFor("[Status] ", 5000)) << door.CallerReceived();
    EXPECT_EQ(door.CallerReceived().rfind("\xFF\xFB", 0) == 0, c.offers);
    door.CallerTypes("/quit\r");
    EXPECT_EQ(door.WaitExit(5000), 0);
  }
}

// A BBS that starts the door on its standard streams with one of them closed: the door's own
// connections never take descriptors 0-2, so neither the caller's screen reaches the IRC server
// nor the server's lines are read as keys; a screen that cannot be written, or keys that cannot
// be read, are a lost carrier.
TEST(HandOverEdges, StandardStreamsWithOneClosed) {
  for (int closed = 0; closed <= 2; ++closed) {
    SCOPED_TRACE("descriptor " + std::to_string(closed) + " closed");
    testsupport::ScriptedServer server;
    DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                     std::to_string(server.port()) + "\n");
    auto [door_end, caller_end] = testsupport::SocketPair();
    int streams[3] = {door_end, door_end, door_end};
    streams[closed] = -1;
    door.StartWithStandardStreams({"-S", "-CCP437"}, streams[0], streams[1], streams[2]);
    close(door_end);
    if (closed == 2) {
      // Nothing is lost without standard error: a whole visit.
      ASSERT_TRUE(server.Accept(5000));
      ASSERT_TRUE(server.WaitForLine("USER ", 5000));
      server.SendLine("PING :still-here");
      EXPECT_TRUE(server.WaitForLine("PONG :still-here", 5000));
      testsupport::WriteAll(caller_end, "/quit\r");
      EXPECT_TRUE(server.WaitForLine("QUIT", 5000));
      EXPECT_EQ(door.WaitExit(10'000), 0);
    } else {
      EXPECT_EQ(door.WaitExit(10'000), 0);
      if (server.Accept(0)) server.ReadLines(200);  // whatever reached the server before the end
    }
    for (const std::string& line : server.lines()) {
      EXPECT_TRUE(line.starts_with("CAP ") || line.starts_with("NICK ") || line.starts_with("USER ") ||
                  line.starts_with("PONG ") || line.starts_with("QUIT "))
          << line;
    }
    EXPECT_EQ(server.received().find('\x1b'), std::string::npos) << server.received().substr(0, 300);
    close(caller_end);
  }
}

// Started with none of the standard descriptors, the door holds all three on /dev/null before it
// opens anything, so the IRC connection is never one of them.
TEST(HandOverEdges, StandardDescriptorsAreHeldBeforeAnySocket) {
  testsupport::ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\n");
  auto [door_end, caller_end] = testsupport::SocketPair();
  door.StartWithStandardStreams({"-H" + std::to_string(door_end), "-CCP437"}, -1, -1, -1, door_end);
  close(door_end);
  ASSERT_TRUE(server.Accept(5000));
  ASSERT_TRUE(server.WaitForLine("USER ", 5000));
  for (int fd = 0; fd <= 2; ++fd) {
    char target[256] = {};
    const std::string link = "/proc/" + std::to_string(door.pid()) + "/fd/" + std::to_string(fd);
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0) << link;
    EXPECT_STREQ(target, "/dev/null") << fd;
  }
  testsupport::WriteAll(caller_end, "/quit\r");
  EXPECT_TRUE(server.WaitForLine("QUIT", 5000));
  EXPECT_EQ(door.WaitExit(10'000), 0);
  close(caller_end);
}

}  // namespace
