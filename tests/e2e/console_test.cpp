// The sysop's console on real terminals of several sizes: the real binary in a tmux window, whose
// screen is read as text. What the door last showed stays on the screen after it ends, and the
// status line is on the terminal's last row whatever its size, also after a resize.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/scripted_server.h"
#include "support/sockets.h"
#include "support/temp_ini.h"
#include "support/tmux_screen.h"

namespace {

using testsupport::OneNetworkIni;
using testsupport::ScriptedServer;
using testsupport::TmuxScreen;

constexpr int kWaitMs = 10'000;
constexpr std::string_view kStatusText = " Wolf on Local";

std::string Joined(const std::vector<std::string>& rows) {
  std::string out;
  for (const std::string& row : rows) out += row + "\n";
  return out;
}

class Console : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TmuxScreen::Available()) GTEST_SKIP() << "tmux is not installed (tools/setup-deps.sh installs it)";
  }
};

TEST_F(Console, UsageStaysOnTheScreenAfterExit) {
  TmuxScreen tmux(80, 24);
  const std::string binary = tmux.InstallDoor(std::nullopt);
  ASSERT_TRUE(tmux.Run(TmuxScreen::Quote(binary) + " --help"));
  ASSERT_TRUE(tmux.WaitForExit(kWaitMs));
  EXPECT_EQ(tmux.ExitStatus(), 0);
  // tmux may still be drawing the last output when the exit is seen: wait for the last line.
  EXPECT_TRUE(tmux.WaitFor("  -  Load Settings From DOOR32.SYS", kWaitMs));
  const std::string shown = tmux.Contents();
  for (const char* line : {"USAGE:", "zelkirc <PARAMETERS>", "  -L         ENABLE LOCAL MODE",
                           "  -S         CALLER ON STANDARD INPUT/OUTPUT", "zelkirc -D/bbs/node1/door32.sys",
                           "  -  Load Settings From DOOR32.SYS"}) {
    EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
  }
}

// A broken set-up is told on the sysop's screen as on the caller's: a local visit without its INI
// file names the file and the reason at the start and again at /SERVERLIST.
TEST_F(Console, BrokenSetUpIsShownToTheSysop) {
  TmuxScreen tmux(80, 25);
  const std::string binary = tmux.InstallDoor(std::nullopt);
  ASSERT_TRUE(tmux.Run(TmuxScreen::Quote(binary) + " -L"));
  const auto told = [](size_t times) {
    return [times](const std::vector<std::string>& rows) {
      return static_cast<size_t>(std::count_if(rows.begin(), rows.end(), [](const std::string& row) {
               return row.find("Cannot read /") != std::string::npos;
             })) >= times;
    };
  };
  ASSERT_TRUE(tmux.WaitUntil(told(1), kWaitMs)) << Joined(tmux.Rows());
  EXPECT_NE(tmux.Contents().find("file not found"), std::string::npos) << Joined(tmux.Rows());
  tmux.Type("/serverlist\r");
  EXPECT_TRUE(tmux.WaitUntil(told(2), kWaitMs)) << Joined(tmux.Rows());
  tmux.Type("/quit\r");
  EXPECT_TRUE(tmux.WaitForExit(kWaitMs)) << Joined(tmux.Rows());
}

// A cursor key whose bytes a slow link to the console splits is still one key: the console waits
// as long for the rest after Esc as the caller's side does.
TEST_F(Console, SplitCursorKeyTypesNothing) {
  ScriptedServer server;
  TmuxScreen tmux(80, 25);
  const std::string binary = tmux.InstallDoor(OneNetworkIni(server.port(), "handle=Wolf\n"));
  ASSERT_TRUE(tmux.Run(TmuxScreen::Quote(binary) + " -L"));
  ASSERT_TRUE(server.AcceptIntoChannel("#chan", kWaitMs)) << server.received();
  ASSERT_TRUE(tmux.WaitFor("[#chan]", kWaitMs)) << Joined(tmux.Rows());
  tmux.Type("\x1b");
  usleep(40'000);  // a gap a slow link makes, well within the 200 ms wait
  tmux.Type("[A");
  tmux.Type("hi\r");
  const auto sent = server.WaitForLine("PRIVMSG", kWaitMs);
  ASSERT_TRUE(sent) << server.received();
  EXPECT_EQ(*sent, "PRIVMSG #chan :hi");
  tmux.Type("/quit\r");
  EXPECT_TRUE(tmux.WaitForExit(kWaitMs)) << Joined(tmux.Rows());
}

// A visit on a terminal of cols x rows: the caller arrives over TCP on descriptor 3, the IRC
// server is scripted.
class ConsoleVisit : public ::testing::TestWithParam<std::pair<int, int>> {
 protected:
  void SetUp() override {
    if (!TmuxScreen::Available()) GTEST_SKIP() << "tmux is not installed (tools/setup-deps.sh installs it)";
  }
};

// The status line is the last row, rows above it come from the console's bottom, and nothing is
// wider than the terminal.
void ExpectLayout(const std::vector<std::string>& rows, int cols, int lines) {
  ASSERT_EQ(static_cast<int>(rows.size()), lines) << Joined(rows);
  const int status_row = std::min(lines, 25) - 1;
  EXPECT_EQ(rows[status_row].rfind(kStatusText, 0), 0u) << Joined(rows);
  if (cols >= 80) {
    EXPECT_NE(rows[status_row].find("TIME: 00:00:"), std::string::npos) << Joined(rows);
  }
  for (int row = status_row + 1; row < lines; ++row) EXPECT_EQ(rows[row], "") << Joined(rows);
  for (const std::string& row : rows) EXPECT_LE(static_cast<int>(row.size()), std::min(cols, 80)) << row;
}

bool StatusOnRow(const std::vector<std::string>& rows, int row) {
  return static_cast<int>(rows.size()) > row && rows[row].rfind(kStatusText, 0) == 0;
}

TEST_P(ConsoleVisit, StatusLineOnTheLastRowAndTheEndStaysOnTheScreen) {
  const auto [cols, lines] = GetParam();
  ScriptedServer server;
  int caller_port = 0;
  const int listener = testsupport::ListenLoopback(&caller_port);
  ASSERT_GE(listener, 0);
  TmuxScreen tmux(cols, lines);
  const std::string binary = tmux.InstallDoor(OneNetworkIni(server.port()));
  ASSERT_TRUE(
      tmux.Run("bash -c " + TmuxScreen::Quote("exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(caller_port) +
                                              " && exec " + TmuxScreen::Quote(binary) + " -H3")));
  const int caller = testsupport::AcceptWithin(listener, kWaitMs);
  close(listener);
  ASSERT_GE(caller, 0);
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
  server.SendLine(":irc.test 001 Wolf :Welcome to the test network");
  // Enough lines to fill the window, so that its bottom rows hold text.
  for (int i = 1; i <= 30; ++i) server.SendLine(":irc.test NOTICE Wolf :note " + std::to_string(i));

  const int status_row = std::min(lines, 25) - 1;
  ASSERT_TRUE(tmux.WaitUntil([&](const auto& rows) { return StatusOnRow(rows, status_row); }, kWaitMs))
      << Joined(tmux.Rows());
  ASSERT_TRUE(tmux.WaitFor("note 30", kWaitMs)) << Joined(tmux.Rows());
  ExpectLayout(tmux.Rows(), cols, lines);

  // Smaller, then narrower than the console, then back: redrawn at once, never wrapped.
  for (const auto& [new_cols, new_lines] : {std::pair{80, 24}, std::pair{60, 20}, std::pair{cols, lines}}) {
    ASSERT_TRUE(tmux.Resize(new_cols, new_lines));
    ASSERT_TRUE(tmux.WaitUntil(
        [&](const auto& rows) { return StatusOnRow(rows, std::min(new_lines, 25) - 1); }, kWaitMs))
        << new_cols << "x" << new_lines << "\n"
        << Joined(tmux.Rows());
    ASSERT_TRUE(tmux.WaitFor("note 30", kWaitMs)) << Joined(tmux.Rows());
    ExpectLayout(tmux.Rows(), new_cols, new_lines);
  }

  close(caller);
  ASSERT_TRUE(tmux.WaitForExit(kWaitMs)) << Joined(tmux.Rows());
  EXPECT_EQ(tmux.ExitStatus(), 0);
  const std::string shown = tmux.Contents();
  EXPECT_NE(shown.find("Caller Dropped Carrier.  Returning To BBS..."), std::string::npos) << shown;
  EXPECT_NE(shown.find(kStatusText), std::string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(Sizes, ConsoleVisit,
                         ::testing::Values(std::pair{80, 24}, std::pair{80, 25}, std::pair{120, 40}),
                         [](const auto& info) {
                           return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

}  // namespace
