// Start-up: the command line, the drop file, local login and taking over the caller.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "door/command_line.h"
#include "door/door.h"
#include "door/drop_file.h"
#include "door/program_end.h"
#include "platform/caller_transports.h"
#include "platform/process.h"
#include "support/door_fixture.h"
#include "support/sockets.h"

namespace door {
namespace {

using testsupport::DoorFixture;

const std::string kTelnetOffers(net::kTelnetOpeningOffers);

TEST(CommandLine, Cases) {
  struct Case {
    std::vector<std::string> args;
    int handle;
    bool local;
    bool usage;
    int node;
    std::string path;
  } cases[] = {
      {{}, -1, true, false, 0, ""},
      {{"-h1000"}, 1000, false, false, 0, ""},
      {{"/H1000"}, 1000, false, false, 0, ""},
      {{"-H", "1000"}, -1, false, false, 0, ""},  // " 1000" continues -H: no number
      {{"-L", "-H5"}, 5, false, false, 0, ""},
      {{"-H5", "-L"}, 5, true, false, 0, ""},
      {{"-?"}, -1, true, true, 0, ""},
      {{"-H5", "-?", "-Dx"}, 5, false, true, 0, "x"},
      {{"-N3"}, -1, true, false, 3, ""},
      {{"-nX"}, -1, true, false, 0, ""},
      {{"-Dpath/door32.sys"}, -1, false, false, 0, "path/door32.sys"},
      {{"xd/bbs/DOOR32.SYS"}, -1, true, false, 0, ""},  // no switch character: no option
      {{"-Hx"}, -1, false, false, 0, ""},
      {{"-H12abc"}, -1, false, false, 0, ""},
      {{"-H99999999999"}, -1, false, false, 0, ""},
      {{"-", "H", "-Q9"}, -1, true, false, 0, ""},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.socket_handle, c.handle);
    EXPECT_EQ(line.local_mode, c.local);
    EXPECT_EQ(line.usage_wanted, c.usage);
    EXPECT_EQ(line.node, c.node);
    EXPECT_EQ(line.drop_file_path, c.path);
  }
}

// Words without a switch character continue the option before them, as a BBS that passes a value
// unquoted splits it; a word before every option continues nothing.
TEST(CommandLine, WordsContinueTheOptionBefore) {
  struct Case {
    std::vector<std::string> args;
    std::string name;
    std::string path;
    bool local;
  } cases[] = {
      {{"-AMary", "Sue", "-H5"}, "Mary Sue", "", false},
      {{"-AJo", "XLee", "-H5"}, "Jo XLee", "", false},  // not an option, not local mode
      {{"-AWolf", "Larsen"}, "Wolf Larsen", "", true},
      {{"-A", "Mary", "Sue"}, " Mary Sue", "", true},
      {{"-DC:\\My", "BBS\\door32.sys", "-AEve"}, "Eve", "C:\\My BBS\\door32.sys", false},
      {{"stray", "-AEve", "-Zx", "words", "-L"}, "Eve", "", true},  // an unknown option keeps its words
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + "|";
    SCOPED_TRACE(joined);
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.caller_name, c.name);
    EXPECT_EQ(line.drop_file_path, c.path);
    EXPECT_EQ(line.local_mode, c.local);
    EXPECT_EQ(line.bad_number, "");
  }
}

TEST(CommandLine, OptionsWithoutTheirNumberAreReported) {
  struct Case {
    std::vector<std::string> args;
    std::string bad_number;
  } cases[] = {
      {{"-H"}, "Option -H Needs A Number"},
      {{"-h"}, "Option -H Needs A Number"},
      {{"-H", "4"}, "Option -H Needs Its Number Attached: -H4, Not -H 4"},
      {{"-Habc"}, "Option -H Needs A Number, Not \"abc\""},
      {{"-H5", "-N", "x"}, "Option -N Needs A Number, Not \" x\""},
      {{"-Nx", "-Hy"}, "Option -N Needs A Number, Not \"x\""},  // the first one is told
      {{"-P"}, "Option -P Needs A Number"},
      {{"-H\x1b[2J"}, "Option -H Needs A Number, Not \"[2J\""},
      {{"-H4", "-N3", "-P2001"}, ""},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + "|";
    SCOPED_TRACE(joined);
    EXPECT_EQ(ParseCommandLine(c.args).bad_number, c.bad_number);
  }
}

TEST(CommandLine, HandOversNamesAndLongOptions) {
  struct Case {
    std::vector<std::string> args;
    HandOver hand_over;
    bool local;
    bool usage;
    int port;
    std::string path;
    std::string name;
  } cases[] = {
      {{"-S"}, HandOver::kStdio, false, false, -1, "", ""},
      {{"/s", "-L"}, HandOver::kStdio, true, false, -1, "", ""},
      {{"-P2001"}, HandOver::kConnectPort, false, false, 2001, "", ""},
      {{"-Pabc"}, HandOver::kConnectPort, false, false, -1, "", ""},
      {{"-u/tmp/node1.sock"}, HandOver::kConnectPath, false, false, -1, "/tmp/node1.sock", ""},
      {{"-H5", "-S"}, HandOver::kStdio, false, false, -1, "", ""},
      {{"-S", "-H5"}, HandOver::kSocket, false, false, -1, "", ""},
      {{"-S", "-Dx/door32.sys"}, HandOver::kStdio, false, false, -1, "", ""},
      {{"-AJoe Smith"}, HandOver::kNone, true, false, -1, "", "Joe Smith"},
      {{"-AJoe\r\nQUIT", "-A\x1b[2JEve\x7f"}, HandOver::kNone, true, false, -1, "", "[2JEve"},
      {{"--help"}, HandOver::kNone, true, true, -1, "", ""},
      {{"-S", "--version"}, HandOver::kStdio, false, true, -1, "", ""},
      {{"--"}, HandOver::kNone, true, true, -1, "", ""},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += a + " ";
    SCOPED_TRACE(joined);
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.hand_over, c.hand_over);
    EXPECT_EQ(line.local_mode, c.local);
    EXPECT_EQ(line.usage_wanted, c.usage);
    EXPECT_EQ(line.connect_port, c.port);
    EXPECT_EQ(line.connect_path, c.path);
    EXPECT_EQ(line.caller_name, c.name);
  }
}

// ---- drop file parsing ----

const char kFullDoor32[] =
    "2\r\n7\r\n38400\r\nMystic 1.12\r\n42\r\nJohn Q Public\r\nJQ\r\n100\r\n5\r\n1\r\n3\r\n";

TEST(Door32Parse, AllElevenLines) {
  const Door32Result r = ParseDoor32(kFullDoor32);
  ASSERT_TRUE(r.visit) << r.error;
  const Visit& s = *r.visit;
  EXPECT_EQ(s.comm_type, door::CommType::kTelnet);
  EXPECT_EQ(s.caller_socket, 7);
  EXPECT_EQ(s.baud, 38400);
  EXPECT_EQ(s.bbs_name, "Mystic 1.12");
  EXPECT_EQ(s.user_record, 42);
  EXPECT_EQ(s.user_real_name, "John Q Public");
  EXPECT_EQ(s.user_handle, "JQ");
  EXPECT_EQ(s.security_level, 100);
  EXPECT_EQ(s.time_left, 300);
  EXPECT_EQ(s.emulation, 1);
  EXPECT_EQ(s.node, 3);
}

TEST(Door32Parse, RealWorldVariationsAndErrors) {
  struct Case {
    const char* name;
    std::string text;
    bool ok;
    int time_left;
  } cases[] = {
      {"LF only", "2\n7\n0\nMaximus\n0\nA B\nab\n10\n60\n1\n1\n", true, 3600},
      {"lone CR", "2\r7\r0\rX\r0\rA\rB\r10\r60\r1\r1\r", true, 3600},
      {"ANSI on line 10", "2\n7\n0\nMaximus\n0\nA B\nab\n10\n60\nANSI\n1\n", true, 3600},
      {"cut after line 9", "2\n7\n0\nX\n0\nA\nB\n10\n5", true, 300},
      {"blanks around numbers", " 2 \n\t7\n0\nX\n0\nA\nB\n10\n 5 \n", true, 300},
      {"comm type 0 needs no handle", "0\n\n0\nX\n0\nA\nB\n10\n5\n", true, 300},
      {"empty file", "", false, 0},
      {"comm type not a number", "two\n7\n0\nX\n0\nA\nB\n10\n5\n", false, 0},
      {"handle not a number", "2\nsock\n0\nX\n0\nA\nB\n10\n5\n", false, 0},
      {"minutes not a number", "2\n7\n0\nX\n0\nA\nB\n10\nlots\n", false, 0},
      {"cut after line 8", "2\n7\n0\nX\n0\nA\nB\n10\n", false, 0},
      {"comm type out of range", "300\n7\n0\nX\n0\nA\nB\n10\n5\n", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Door32Result r = ParseDoor32(c.text);
    EXPECT_EQ(r.visit.has_value(), c.ok);
    if (r.visit) {
      EXPECT_EQ(r.visit->time_left, c.time_left);
    } else {
      EXPECT_FALSE(r.error.empty());
    }
  }
  Visit defaults;
  defaults.emulation = 7;
  defaults.node = 9;
  defaults.baud = 1200;
  const Door32Result maximus = ParseDoor32("2\n7\n0\nMaximus\n0\nA B\nab\n10\n60\nANSI\n", defaults);
  ASSERT_TRUE(maximus.visit);
  EXPECT_EQ(maximus.visit->emulation, 7);  // not a number: keeps the door's value
  EXPECT_EQ(maximus.visit->node, 9);       // missing: the same
  EXPECT_EQ(maximus.visit->baud, 0);
  EXPECT_EQ(maximus.visit->user_real_name, "A B");
}

// The names of the user record keep no control byte, as with -A.
TEST(Door32Parse, NamesLoseTheirControlBytes) {
  std::string text = "2\n7\n0\nBBS\n0\nJoe\x07\x01 Smith";
  text += std::string(1, '\0') + "x\nWo\x1b[2Jlf\x7f\n10\n5\n";
  const Door32Result r = ParseDoor32(text);
  ASSERT_TRUE(r.visit);
  EXPECT_EQ(r.visit->user_real_name, "Joe Smithx");
  EXPECT_EQ(r.visit->user_handle, "Wo[2Jlf");
}

// ---- DoorStart ----

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/zelk-door-XXXXXX";
    path_ = mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string Write(const std::string& name, const std::string& contents) const {
    const std::string file = path_ + "/" + name;
    std::ofstream(file, std::ios::binary) << contents;
    return file;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A local-mode door with the given arguments; DoorStart's outcome is recorded.
struct Start {
  explicit Start(std::vector<std::string> args) : f(false, std::move(args)) {
    f.door->on_local_login = [this] { ++logins; };
  }
  void Run() {
    try {
      f.door->DoorStart();
    } catch (const ProgramEnd&) {
      ended = true;
    }
  }
  DoorFixture f;
  int logins = 0;
  bool ended = false;
};

// A socket pair standing in for the BBS's caller connection.
struct CallerPair {
  CallerPair() { std::tie(door_end, caller_end) = testsupport::SocketPair(); }
  ~CallerPair() {
    close(door_end);
    close(caller_end);
  }
  std::string Received() const { return testsupport::ReadAvailable(caller_end, 0); }
  int door_end, caller_end;
};

std::string Door32(int comm_type, int handle, const std::string& minutes, const std::string& eol = "\r\n") {
  std::string s;
  for (std::string line :
       {std::to_string(comm_type), std::to_string(handle), std::string("38400"), std::string("Test BBS"),
        std::string("1"), std::string("Jane Doe"), std::string("Janie"), std::string("20"), minutes,
        std::string("1"), std::string("4")}) {
    s += line + eol;
  }
  return s;
}

TEST(DoorStart, UsageScreenOnlyOnTheLocalConsole) {
  Start s({"-H5", "-?"});
  s.Run();
  EXPECT_TRUE(s.ended);
  EXPECT_EQ(s.logins, 0);
  EXPECT_EQ(s.f.door->visit.comm_type, door::CommType::kLocal);
  const auto row = [&](int r) {
    std::string t = s.f.console.RowText(r);
    return t.substr(0, t.find_last_not_of(' ') + 1);
  };
  // The hand-overs this build cannot make (standard input and Unix sockets on Windows) are left
  // out; every other option is listed in the table's order.
  std::vector<std::string> wanted = {"",
                                     "USAGE:",
                                     "",
                                     "zelkirc <PARAMETERS>",
                                     "",
                                     "  -D         PATH/FILENAME OF DOOR32.SYS",
                                     "  -H         SOCKET HANDLE",
                                     "  -L         ENABLE LOCAL MODE",
                                     "  -N         NODE NUMBER"};
  const std::pair<const char*, bool> ours[] = {
      {"  -S         CALLER ON STANDARD INPUT/OUTPUT", platform::StdioCallersAvailable()},
      {"  -P         CONNECT TO CALLER AT 127.0.0.1 PORT", true},
      {"  -U         CONNECT TO CALLER AT UNIX SOCKET PATH", platform::UnixPathCallersAvailable()},
      {"  -A         CALLER'S HANDLE (WITHOUT A DROP FILE)", true},
      {"  -I         CALLER'S IP ADDRESS (FOR WEBIRC)", true},
      {"  -C         CALLER'S CHARSET: AUTO (DEFAULT), UTF-8, CP437 OR US-ASCII", true},
  };
  for (const auto& [line, listed] : ours) {
    if (listed) wanted.push_back(line);
  }
  const std::string examples[] = {"",
                                  "Examples:",
                                  "",
                                  "zelkirc -L",
                                  "  -  Run In Local Mode",
                                  "zelkirc -H1000 -N3",
                                  "  -  Open Socket Number 1000 On Node #3",
                                  "zelkirc -D" + std::string(platform::ExampleDropFilePath()),
                                  "  -  Load Settings From DOOR32.SYS"};
  wanted.insert(wanted.end(), std::begin(examples), std::end(examples));
  // Each line ends with CR LF: more than 24 lines scroll the 25-row console by the excess.
  const int scrolled = std::max(0, static_cast<int>(wanted.size()) - 24);
  for (int r = 1; r + scrolled <= static_cast<int>(wanted.size()); ++r)
    EXPECT_EQ(row(r), wanted[r - 1 + scrolled]) << "row " << r;
  EXPECT_EQ(s.f.console.CursorRow(), static_cast<int>(wanted.size()) + 1 - scrolled);
}

TEST(DoorStart, LocalModeLogsIn) {
  for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"-H5", "-L"}}) {
    Start s(args);
    s.Run();
    EXPECT_FALSE(s.ended);
    EXPECT_EQ(s.logins, 1);
    EXPECT_EQ(s.f.door->visit.comm_type, door::CommType::kLocal);
    EXPECT_FALSE(s.f.door->timers.active);
    // Row 25 is the status line's in local mode too.
    EXPECT_EQ(s.f.console.WindowBottom(), 24);
    // The visit's time counts from its start, not from midnight.
    s.f.clock.Advance(5'000);
    EXPECT_EQ(s.f.door->VisitSeconds(), 5);
  }
}

TEST(DoorStart, DefaultLocalLoginPrefillsSysop) {
  DoorFixture f(false);
  f.console.PushKeys("\r");
  f.door->DoorStart();
  EXPECT_EQ(f.door->visit.user_handle, "SYSOP");
  EXPECT_EQ(f.door->visit.user_real_name, "SYSOP");
  EXPECT_EQ(f.console.RowText(2).substr(0, 13), "  LOCAL LOGIN");
  EXPECT_EQ(f.console.RowText(5).substr(0, 25), "  Enter your name : SYSOP");
  EXPECT_EQ(f.console.At(21, 5).attr, 0x1F);

  DoorFixture g(false);
  g.console.PushKeys(
      "\x19"
      "Bob 1\r");
  g.door->DoorStart();
  EXPECT_EQ(g.door->visit.user_handle, "Bob");
}

TEST(DoorStart, SocketHandleTakesTheCallerOver) {
  CallerPair pair;
  Start s({"-L", "-H" + std::to_string(pair.door_end), "-N3"});
  s.Run();
  ASSERT_FALSE(s.ended);
  Door& d = *s.f.door;
  EXPECT_EQ(s.logins, 0);
  EXPECT_EQ(d.visit.comm_type, door::CommType::kTelnet);
  EXPECT_EQ(d.visit.caller_socket, pair.door_end);
  EXPECT_EQ(d.visit.node, 3);
  EXPECT_TRUE(d.caller.IsOpen());
  EXPECT_EQ(pair.Received(), kTelnetOffers + "\x1b[2J\x1b[H");
  EXPECT_EQ(pair.Received(), "");
  EXPECT_EQ(s.f.console.WindowTop(), 1);
  EXPECT_EQ(s.f.console.WindowBottom(), 24);
  EXPECT_EQ(s.f.console.WindowRight(), 80);
  EXPECT_TRUE(d.timers.active);
  EXPECT_EQ(d.timers.idle_start, s.f.clock.MonotonicMs());
  EXPECT_EQ(d.timers.session_start, s.f.clock.MonotonicMs());
  EXPECT_EQ(d.timers.last_tick, s.f.clock.MonotonicMs() - 1000);
  d.DoorWrite("hi");
  EXPECT_EQ(pair.Received(), "hi");
  d.caller.Close(false);  // the pair closes its own ends
}

TEST(DoorStart, ClosedHandleIsNoCarrier) {
  CallerPair pair;
  int spare = dup(pair.door_end);
  close(spare);  // a descriptor number that is not open
  Start s({"-H" + std::to_string(spare)});
  s.Run();
  EXPECT_TRUE(s.ended);
  EXPECT_EQ(s.f.console.RowText(2).substr(0, 21), "  No Carrier Detected");
  EXPECT_EQ(s.f.clock.slept_ms(), 1500);
}

// An option without its number ends the door with the reason instead of a visit that reaches
// nobody; when the rest of the command line reaches a caller, the caller reads it too.
TEST(DoorStart, OptionWithoutItsNumberEndsWithTheReason) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"-Hx"}, {"-H", "4"}, {"-L", "-H"}}) {
    Start s(args);
    s.Run();
    EXPECT_TRUE(s.ended);
    EXPECT_EQ(s.logins, 0);
    EXPECT_EQ(s.f.console.RowText(2).substr(0, 12), "  Option -H ");
    EXPECT_EQ(s.f.clock.slept_ms(), 1500);
  }
  CallerPair pair;
  Start s({"-H" + std::to_string(pair.door_end), "-N", "x"});
  s.Run();
  EXPECT_TRUE(s.ended);
  EXPECT_NE(pair.Received().find("Option -N Needs A Number, Not \" x\""), std::string::npos);
  s.f.door->caller.Close(false);
  // The caller a drop file names is told too.
  TempDir dir;
  CallerPair dropped;
  const std::string path = dir.Write("DOOR32.SYS", Door32(2, dropped.door_end, "5"));
  Start d({"-D" + path, "-Nx"});
  d.Run();
  EXPECT_TRUE(d.ended);
  EXPECT_NE(dropped.Received().find("Option -N Needs A Number, Not \"x\""), std::string::npos);
  d.f.door->caller.Close(false);
}

TEST(DoorStart, DropFileWithLowerCasePath) {
  TempDir dir;
  CallerPair pair;
  const std::string path = dir.Write("door32.sys", Door32(2, pair.door_end, "5", "\n"));
  Start s({"-D" + path});
  s.Run();
  ASSERT_FALSE(s.ended);
  Door& d = *s.f.door;
  EXPECT_EQ(d.visit.comm_type, door::CommType::kTelnet);
  EXPECT_EQ(d.visit.time_left, 300);
  EXPECT_EQ(d.visit.user_real_name, "Jane Doe");
  EXPECT_EQ(d.visit.user_handle, "Janie");
  EXPECT_EQ(d.visit.bbs_name, "Test BBS");
  EXPECT_EQ(d.visit.baud, 38400);
  EXPECT_EQ(d.visit.security_level, 20);
  EXPECT_EQ(d.visit.node, 4);
  EXPECT_TRUE(d.caller.IsOpen());
  EXPECT_EQ(pair.Received(), kTelnetOffers + "\x1b[2J\x1b[H");
  d.caller.Close(false);
}

TEST(DoorStart, DropFileWithCommTypeZeroStaysLocalWithoutLogin) {
  TempDir dir;
  const std::string path = dir.Write("DOOR32.SYS", Door32(0, 0, "30"));
  Start s({"-D" + path});
  s.Run();
  EXPECT_FALSE(s.ended);
  EXPECT_EQ(s.logins, 0);
  EXPECT_EQ(s.f.door->visit.comm_type, door::CommType::kLocal);
  EXPECT_EQ(s.f.door->visit.time_left, 1800);
  EXPECT_EQ(s.f.door->visit.user_handle, "Janie");
  EXPECT_FALSE(s.f.door->timers.active);
}

TEST(DoorStart, SocketHandleWinsOverDropFile) {
  TempDir dir;
  CallerPair pair;
  const std::string path = dir.Write("door32.sys", Door32(2, 999, "5"));
  Start s({"-D" + path, "-H" + std::to_string(pair.door_end)});
  s.Run();
  ASSERT_FALSE(s.ended);
  EXPECT_EQ(s.f.door->visit.caller_socket, pair.door_end);
  EXPECT_EQ(s.f.door->visit.time_left, 0);
  EXPECT_EQ(s.f.door->visit.user_handle, "");
  s.f.door->caller.Close(false);
}

TEST(DoorStart, DropFileEndings) {
  TempDir dir;
  CallerPair pair;
  struct Case {
    const char* name;
    std::string file_name;  // empty: no file written
    std::string contents;
    std::string message;
  } cases[] = {
      {"missing file", "", "", "  DOOR32.SYS File Not Found"},
      {"another file name", "dropfile.txt", Door32(2, pair.door_end, "5"), "  DOOR32.SYS File Not Found"},
      {"minutes not a number", "door32.sys", Door32(2, pair.door_end, "many"), "  DOOR32.SYS Is Not Valid"},
      {"handle missing", "door32.sys", "2\n", "  DOOR32.SYS Is Not Valid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = c.file_name.empty() ? dir.path() + "/door32.sys.missing/DOOR32.SYS"
                                                 : dir.Write(c.file_name, c.contents);
    Start s({"-D" + path});
    s.Run();
    EXPECT_TRUE(s.ended);
    EXPECT_EQ(s.f.console.RowText(1), std::string(80, ' '));
    EXPECT_EQ(s.f.console.RowText(2).substr(0, c.message.size()), c.message);
    EXPECT_EQ(s.f.console.CursorRow(), 4);
    EXPECT_EQ(s.f.clock.slept_ms(), 1500);
    EXPECT_EQ(s.f.door->visit.comm_type, door::CommType::kLocal);
    EXPECT_EQ(pair.Received(), "");  // nothing reaches the caller
    std::filesystem::remove(path);
  }
}

// -A names the caller unless a drop file does; control bytes never get through.
TEST(DoorStart, CallerNameFromTheCommandLine) {
  TempDir dir;
  struct Case {
    const char* name;
    std::string drop_handle;  // empty: no drop file
    std::string want;
  } cases[] = {
      {"socket with -A", "", "Guest 3"},
      {"drop file's handle wins", "Janie", "Janie"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CallerPair pair;
    std::vector<std::string> args = {"-AGuest\x01 3"};
    if (c.drop_handle.empty()) {
      args.push_back("-H" + std::to_string(pair.door_end));
    } else {
      args.push_back("-D" + dir.Write("door32.sys", Door32(2, pair.door_end, "5")));
    }
    Start s(args);
    s.Run();
    ASSERT_FALSE(s.ended);
    EXPECT_EQ(s.f.door->visit.user_handle, c.want);
    EXPECT_EQ(s.f.door->visit.user_real_name, c.drop_handle.empty() ? c.want : "Jane Doe");
    s.f.door->caller.Close(false);
  }
}

// Telnet on the caller's socket unless the sysop turns it off: the offers, the decoding.
TEST(DoorStart, TelnetFollowsTheSetting) {
  for (TelnetMode mode : {TelnetMode::kAuto, TelnetMode::kOn, TelnetMode::kOff}) {
    SCOPED_TRACE(static_cast<int>(mode));
    CallerPair pair;
    Start s({"-H" + std::to_string(pair.door_end)});
    s.f.door->visit.telnet = mode;
    s.Run();
    ASSERT_FALSE(s.ended);
    const bool telnet = mode != TelnetMode::kOff;
    EXPECT_EQ(pair.Received().rfind(kTelnetOffers, 0) == 0, telnet);
    testsupport::WriteAll(pair.caller_end,
                          "a\xFF\xFD\x03"
                          "b");
    s.f.door->caller.Poll();
    EXPECT_EQ(s.f.door->caller.Buffer(), telnet ? "ab"
                                                : "a\xFF\xFD\x03"
                                                  "b");
    s.f.door->caller.Close(false);
  }
}

}  // namespace
}  // namespace door
