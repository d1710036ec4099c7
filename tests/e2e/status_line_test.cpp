// The status line on the sysop's terminal, in local mode and in a visit: F1 turns its page over
// and back, it stays on the last row however the text scrolls (no piece of it is carried up),
// its clock runs, and on a terminal of 24 rows the row being typed on is in view from the start.
#include <gtest/gtest.h>
#include <unistd.h>

#include <ostream>
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
constexpr std::string_view kF1 = "\x1bOP";
constexpr std::string_view kKeysPage = "F1: Toggle StatusBar";

std::string Joined(const std::vector<std::string>& rows) {
  std::string out;
  for (const std::string& row : rows) out += row + "\n";
  return out;
}

// Text of the status line (either page) found on any row but the last.
bool StatusPieceAboveTheLastRow(const std::vector<std::string>& rows) {
  for (size_t row = 0; row + 1 < rows.size(); ++row) {
    for (std::string_view piece : {std::string_view("TIME: "), kKeysPage, std::string_view("Alt-C: Chat")}) {
      if (rows[row].find(piece) != std::string::npos) return true;
    }
  }
  return false;
}

struct Mode {
  const char* name;
  bool local;
};

void PrintTo(const Mode& mode, std::ostream* out) {
  *out << mode.name;
}

class StatusLine : public ::testing::TestWithParam<Mode> {
 protected:
  void SetUp() override {
    if (!TmuxScreen::Available()) GTEST_SKIP() << "tmux is not installed (tools/setup-deps.sh installs it)";
  }
};

TEST_P(StatusLine, F1TurnsThePageCleanlyAndTheClockRuns) {
  const bool local = GetParam().local;
  ScriptedServer server;
  TmuxScreen tmux(80, 24);
  const std::string binary = tmux.InstallDoor(OneNetworkIni(server.port(), "handle=Wolf\n"));
  int caller = -1;
  if (local) {
    ASSERT_TRUE(tmux.Run(TmuxScreen::Quote(binary) + " -L"));
  } else {
    int caller_port = 0;
    const int listener = testsupport::ListenLoopback(&caller_port);
    ASSERT_GE(listener, 0);
    ASSERT_TRUE(
        tmux.Run("bash -c " + TmuxScreen::Quote("exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(caller_port) +
                                                " && exec " + TmuxScreen::Quote(binary) + " -H3 -CCP437")));
    caller = testsupport::AcceptWithin(listener, kWaitMs);
    close(listener);
    ASSERT_GE(caller, 0);
  }
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
  server.SendLine(":irc.test 001 Wolf :Welcome to the test network");

  // The input row is in view at once, the status line on the last row.
  ASSERT_TRUE(tmux.WaitUntil(
      [](const auto& rows) {
        return rows.size() == 24 && rows[23].rfind(" Wolf on Local", 0) == 0 &&
               Joined(rows).find("[Status]") != std::string::npos;
      },
      kWaitMs))
      << Joined(tmux.Rows());
  // Its clock runs.
  const std::string first = tmux.Rows()[23];
  ASSERT_TRUE(
      tmux.WaitUntil([&](const auto& rows) { return rows.size() == 24 && rows[23] != first; }, kWaitMs))
      << first;
  EXPECT_NE(tmux.Rows()[23].find("TIME: 00:00:0"), std::string::npos) << tmux.Rows()[23];

  tmux.Type(kF1);
  ASSERT_TRUE(tmux.WaitUntil(
      [](const auto& rows) { return rows.size() == 24 && rows[23].find(kKeysPage) != std::string::npos; },
      kWaitMs))
      << Joined(tmux.Rows());
  // Text scrolling past leaves no piece of either page behind.
  for (int i = 1; i <= 30; ++i) server.SendLine(":irc.test NOTICE Wolf :note " + std::to_string(i));
  ASSERT_TRUE(tmux.WaitFor("note 30", kWaitMs)) << Joined(tmux.Rows());
  EXPECT_FALSE(StatusPieceAboveTheLastRow(tmux.Rows())) << Joined(tmux.Rows());
  EXPECT_NE(tmux.Rows()[23].find(kKeysPage), std::string::npos) << Joined(tmux.Rows());

  tmux.Type(kF1);
  ASSERT_TRUE(tmux.WaitUntil(
      [](const auto& rows) { return rows.size() == 24 && rows[23].rfind(" Wolf on", 0) == 0; }, kWaitMs))
      << Joined(tmux.Rows());
  for (int i = 31; i <= 60; ++i) server.SendLine(":irc.test NOTICE Wolf :note " + std::to_string(i));
  ASSERT_TRUE(tmux.WaitFor("note 60", kWaitMs)) << Joined(tmux.Rows());
  EXPECT_FALSE(StatusPieceAboveTheLastRow(tmux.Rows())) << Joined(tmux.Rows());

  if (local) {
    tmux.Type("/quit\r");
  } else {
    close(caller);
  }
  ASSERT_TRUE(tmux.WaitForExit(kWaitMs)) << Joined(tmux.Rows());
  EXPECT_EQ(tmux.ExitStatus(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, StatusLine, ::testing::Values(Mode{"Local", true}, Mode{"Door", false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
