// A caller's keys as terminals send them, through the real binary and a real caller socket: DEL
// for Backspace, and cursor and function keys as escape sequences, whole or split across reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/door_process.h"
#include "support/scripted_server.h"
#include "support/sockets.h"

namespace {

using testsupport::DoorProcess;
using testsupport::ScriptedServer;

constexpr int kWaitMs = 10'000;
// Between the pieces of a split key: long enough for the door to read each piece on its own.
constexpr auto kGap = std::chrono::milliseconds(30);

struct KeysCase {
  const char* name;
  std::vector<std::string> pieces;  // sent one at a time, kGap apart
  std::string sent;                 // the line the server gets
};

class CallerKeys : public ::testing::TestWithParam<KeysCase> {};

TEST_P(CallerKeys, TypedLineReachesTheServer) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\n");
  door.StartWithCaller(true);
  ASSERT_TRUE(server.AcceptIntoChannel("#a", kWaitMs)) << server.received();
  ASSERT_TRUE(door.CallerWaitFor("[#a] ", kWaitMs)) << door.CallerReceived();

  for (const std::string& piece : GetParam().pieces) {
    door.CallerTypes(piece);
    std::this_thread::sleep_for(kGap);
  }
  const auto line = server.WaitForLine("PRIVMSG", kWaitMs);
  ASSERT_TRUE(line.has_value()) << server.received();
  EXPECT_EQ(*line, GetParam().sent);
  door.CallerTypes("/QUIT\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Terminals, CallerKeys,
    ::testing::Values(KeysCase{"DelIsBackspace", {"abcd\x7F\x7FXY\r"}, "PRIVMSG #a :abXY"},
                      KeysCase{"SequencesWhole",
                               {"ab\x1b[Dc\x1b[C\x1b[Hd\x1b[F\x1bOPe\x1b[11~\x1bOH\x1b[1~\x1b[4~\x1bOFf\r"},
                               "PRIVMSG #a :dacbef"},
                      KeysCase{"SequencesSplit",
                               {"ab\x1b", "[D", "c\x1b[", "C", "d\x1b", "OH", "e\x1bO", "P", "f\x1b[1", "1~",
                                "g\x1b[", "4~\r"},
                               "PRIVMSG #a :efgacbd"},
                      KeysCase{"EditingKeys",
                               {"hello world\x17there\x01\x1b[3~H\x05!\x1b[D\x1b[D\x0B\x1bOC\x1b[K.\r"},
                               "PRIVMSG #a :Hello ther."},
                      KeysCase{"SyncTermKeys", {"xyz\x1b[H\x1b[C\x7F\x1b[K!\r"}, "PRIVMSG #a :yz!"},
                      KeysCase{
                          "CutsSplit",
                          {"one two", "\x1b", "[", "D\x1b[", "D\x15", "\x1b[4", "~ three\x1b[1;5", "D\r"},
                          "PRIVMSG #a :wo three"}),
    [](const auto& info) { return info.param.name; });

// Characters above ASCII inserted and deleted in the middle of the line, and Up recalling a sent
// line, for a code page 437 and a UTF-8 caller: the server gets UTF-8 either way.
TEST(CallerKeysCharsets, EditingInTheMiddleOfCharactersAboveAscii) {
  const struct {
    std::string_view probe_answer;
    std::string typed;
  } callers[] = {
      {testsupport::kCp437ProbeAnswer,
       "a\x82"
       "b\x81"},
      {testsupport::kUtf8ProbeAnswer,
       "a\xC3\xA9"
       "b\xC3\xBC"},
  };
  for (const auto& caller : callers) {
    ScriptedServer server;
    DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                     std::to_string(server.port()) + "\n");
    door.probe_answer = caller.probe_answer;
    door.StartWithCaller(true);
    ASSERT_TRUE(server.AcceptIntoChannel("#a", kWaitMs)) << server.received();
    ASSERT_TRUE(door.CallerWaitFor("[#a] ", kWaitMs)) << door.CallerReceived();
    // a é b ü, Left twice, Delete (the b), Backspace (the é), x, End.
    door.CallerTypes(caller.typed + "\x1b[D\x1b");
    std::this_thread::sleep_for(kGap);
    door.CallerTypes("[D\x1b[3~\x7Fx\x1b[F\r");
    auto line = server.WaitForLine("PRIVMSG", kWaitMs);
    ASSERT_TRUE(line.has_value()) << server.received();
    EXPECT_EQ(*line, "PRIVMSG #a :ax\xC3\xBC");
    door.CallerTypes("\x1b[A!\r");
    line = server.WaitForLine("PRIVMSG #a :ax\xC3\xBC!", kWaitMs);
    EXPECT_TRUE(line.has_value()) << server.received();
    door.CallerTypes("/QUIT\r");
    EXPECT_EQ(door.WaitExit(kWaitMs), 0);
  }
}

// Tab completes from the channel's members as the server listed them, and follows a NICK.
TEST(CallerKeysCompletion, TabCompletesNicknamesFromTheChannel) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\n");
  door.StartWithCaller(true);
  ASSERT_TRUE(server.AcceptIntoChannel("#a", kWaitMs)) << server.received();
  server.SendLine(":irc.test 353 Wolf = #a :@bob +Bobby Wolf");
  server.SendLine(":irc.test 366 Wolf #a :End of /NAMES list.");
  server.SendLine(":bob!b@h NICK :zed");
  ASSERT_TRUE(door.CallerWaitFor("is now known as", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("bo\t\thello z\t\r");
  const auto line = server.WaitForLine("PRIVMSG", kWaitMs);
  ASSERT_TRUE(line.has_value()) << server.received();
  EXPECT_EQ(*line, "PRIVMSG #a :Bobby: hello zed");  // the blank after it is trimmed
  door.CallerTypes("/QUIT\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// Keys typed while the door still waits for the terminal's answer to its charset probe go through
// the same decoding as later ones, and terminal reports are never typed: an answer split across
// the end of the wait, a second one, a device attributes report.
TEST(CallerKeysInTheProbe, DecodedLikeLaterKeysAndReportsNeverTyped) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\n");
  door.probe_answer.clear();  // answered by hand below
  door.StartWithCaller(true);
  ASSERT_TRUE(door.CallerWaitFor("\x1b[6n", kWaitMs)) << door.CallerReceived();
  const auto asked = std::chrono::steady_clock::now();
  door.CallerTypes(
      "ab\x1b[Dc\x7F"
      "d");  // a, b, Left (before b), c, Backspace as DEL (the c), d
  std::this_thread::sleep_for(kGap);
  door.CallerTypes("x\x1bOPy");  // F1 between x and y
  std::this_thread::sleep_for(std::chrono::milliseconds(1400) - (std::chrono::steady_clock::now() - asked));
  door.CallerTypes("\x1b[1;");  // the answer, cut by the end of the 1.5 s wait
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  door.CallerTypes("1R");
  ASSERT_TRUE(server.AcceptIntoChannel("#a", kWaitMs)) << server.received();
  ASSERT_TRUE(door.CallerWaitFor("[#a] ", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("\x1b[1;1R\x1b[?1;2cok\r");
  const auto line = server.WaitForLine("PRIVMSG", kWaitMs);
  ASSERT_TRUE(line.has_value()) << server.received();
  EXPECT_EQ(*line, "PRIVMSG #a :adxyokb");  // Left moved the cursor back before b
  door.CallerTypes("/QUIT\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

// Page Up and End split across reads, in ANSI and SyncTERM forms: the older lines with the
// marker, then the newest again with a line that came meanwhile.
TEST(CallerKeysScrollback, PageUpAndEndSplitAcrossReads) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\n");
  door.StartWithCaller(true);
  ASSERT_TRUE(server.AcceptIntoChannel("#a", kWaitMs)) << server.received();
  for (int i = 1; i <= 40; ++i) server.SendLine(":al!a@h PRIVMSG #a :line " + std::to_string(i));
  ASSERT_TRUE(door.CallerWaitFor("line 40", kWaitMs)) << door.CallerReceived();
  // The n-th appearance of text on the caller's screen.
  const auto wait_for_nth = [&](std::string_view text, int n) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
      door.CallerWaitFor(text, 100);
      const std::string& received = door.CallerReceived();
      int found = 0;
      for (size_t at = received.find(text); at != std::string::npos; at = received.find(text, at + 1))
        ++found;
      if (found >= n) return true;
    }
    return false;
  };
  const std::vector<std::vector<std::string>> page_ups = {{"\x1b[", "5~"}, {"\x1b", "[V"}};
  int round = 0;
  for (const std::vector<std::string>& page_up : page_ups) {
    ++round;
    for (const std::string& piece : page_up) {
      door.CallerTypes(piece);
      std::this_thread::sleep_for(kGap);
    }
    ASSERT_TRUE(wait_for_nth("-- Older lines", round)) << door.CallerReceived();
    const std::string meanwhile = "meanwhile " + std::to_string(round);
    server.SendLine(":al!a@h PRIVMSG #a :" + meanwhile);
    std::this_thread::sleep_for(kGap);
    EXPECT_EQ(door.CallerReceived().find(meanwhile), std::string::npos);  // kept, not shown
    for (const char* piece : {"\x1bO", "F"}) {
      door.CallerTypes(piece);
      std::this_thread::sleep_for(kGap);
    }
    ASSERT_TRUE(door.CallerWaitFor(meanwhile, kWaitMs)) << door.CallerReceived();
  }
  door.CallerTypes("/QUIT\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

}  // namespace

namespace {

// Terminal reports a caller's terminal sends during the visit, long after the charset probe:
// xterm's device attributes (longer than any key), secondary attributes, a cursor position report.
const std::string kLongAttributes = "\x1b[?64;1;2;6;9;15;16;17;18;21;22;28c";
const std::string kSecondaryAttributes = "\x1b[>41;385;0c";
const std::string kCursorReport = "\x1b[12;40R";

// Reports arriving in the middle of the visit, whole or split across reads, in the prompts before
// the connection and in the input line, are never typed: the caller never sees them echoed, and
// neither the password nor the channel line carries a byte of them.
TEST(CallerKeysInTheVisit, TerminalReportsAreNeitherEchoedNorSent) {
  ScriptedServer server;
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                   std::to_string(server.port()) + "\npass=1\n");
  door.StartWithCaller(true);
  ASSERT_TRUE(door.CallerWaitFor("Please Enter Your User Name: ", kWaitMs)) << door.CallerReceived();
  const size_t after_probe = door.CallerReceived().size();
  door.CallerTypes("Wo" + kCursorReport + "lf\r");
  ASSERT_TRUE(door.CallerWaitFor("Please Enter Your Password:  ", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("se" + kLongAttributes.substr(0, 9));
  std::this_thread::sleep_for(kGap);
  door.CallerTypes(kLongAttributes.substr(9) + "cr" + kSecondaryAttributes + "et\r");
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs)) << server.received();
  EXPECT_NE(std::find(server.lines().begin(), server.lines().end(), "PASS :secret"), server.lines().end())
      << server.received();
  server.SendLine(":Wolf!u@h JOIN :#a");
  ASSERT_TRUE(door.CallerWaitFor("[#a] ", kWaitMs)) << door.CallerReceived();

  door.CallerTypes("hel" + kLongAttributes + "lo " + kSecondaryAttributes.substr(0, 5));
  std::this_thread::sleep_for(kGap);
  door.CallerTypes(kSecondaryAttributes.substr(5) + "the" + kCursorReport.substr(0, 1));
  std::this_thread::sleep_for(kGap);
  door.CallerTypes(kCursorReport.substr(1) + "re\r");
  const auto line = server.WaitForLine("PRIVMSG", kWaitMs);
  ASSERT_TRUE(line.has_value()) << server.received();
  EXPECT_EQ(*line, "PRIVMSG #a :hello there");
  ASSERT_TRUE(door.CallerWaitFor("hello there", kWaitMs)) << door.CallerReceived();
  const std::string seen = door.CallerReceived().substr(after_probe);
  for (const char* piece : {"64;1;2", "28c", "41;385", ";0c", "12;40", "0R"})
    EXPECT_EQ(seen.find(piece), std::string::npos) << piece << " in " << seen;
  door.CallerTypes("/QUIT\r");
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

}  // namespace
