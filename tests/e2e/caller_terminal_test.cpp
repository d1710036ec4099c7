// A caller on a real terminal: the door with -S in a tmux window (a pseudo-terminal and a real
// terminal emulator), typing the keys the terminal sends for the cursor, Home, End, Delete, Page
// Up and Page Down. The terminal's rows show what the caller sees; the scripted server shows what
// reached the network.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scripted_server.h"
#include "support/temp_ini.h"
#include "support/tmux_screen.h"

namespace {

using testsupport::OneNetworkIni;
using testsupport::ScriptedServer;
using testsupport::TmuxScreen;

constexpr int kWaitMs = 10'000;

std::string Joined(const std::vector<std::string>& rows) {
  std::string out;
  for (const std::string& row : rows) out += row + "\n";
  return out;
}

class CallerTerminal : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!TmuxScreen::Available()) GTEST_SKIP() << "tmux is not installed (tools/setup-deps.sh installs it)";
  }
};

bool HasRow(const std::vector<std::string>& rows, std::string_view row) {
  for (const std::string& r : rows) {
    if (r == row) return true;
  }
  return false;
}

// The last row holding text: the input line.
std::string InputRow(const std::vector<std::string>& rows) {
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
    if (!it->empty()) return *it;
  }
  return "";
}

TEST_P(CallerTerminal, EditingHistoryAndScrollbackOnTheCallersScreen) {
  const std::string charset = GetParam();
  const bool utf8 = charset == "UTF-8";
  ScriptedServer server;
  TmuxScreen tmux(80, 25);
  const std::string binary = tmux.InstallDoor(OneNetworkIni(server.port()));
  ASSERT_TRUE(tmux.Run(TmuxScreen::Quote(binary) + " -S -C" + charset));
  ASSERT_TRUE(server.AcceptIntoChannel("#a", kWaitMs)) << server.received();
  for (int i = 1; i <= 60; ++i) server.SendLine(":al!a@h PRIVMSG #a :line " + std::to_string(i));
  ASSERT_TRUE(tmux.WaitFor("line 60", kWaitMs)) << Joined(tmux.Rows());

  // a, a wide character (UTF-8; the code page 437 caller's own characters are not UTF-8 to this
  // terminal, so c), b; Left twice; X; Home; >.
  const std::string middle = utf8 ? "\xE4\xBD\xA0" : "c";
  const std::string shown_middle = middle;
  tmux.Type("a" + middle + "b\x1b[D\x1b[DX\x1bOH>");
  const std::string expected = "[#a] >aX" + shown_middle + "b";
  ASSERT_TRUE(tmux.WaitUntil([&](const auto& rows) { return InputRow(rows) == expected; }, kWaitMs))
      << Joined(tmux.Rows());
  tmux.Type("\x1b[F\x1b[D\x1b[3~\r");  // End, Left, Delete (the b), Enter
  auto line = server.WaitForLine("PRIVMSG", kWaitMs);
  ASSERT_TRUE(line.has_value()) << server.received();
  EXPECT_EQ(*line, "PRIVMSG #a :>aX" + middle);

  // Page Up: older lines and the marker; a new line waits; End returns and shows it.
  tmux.Type("\x1b[5~");
  ASSERT_TRUE(tmux.WaitFor("-- Older lines: Page Up and Page Down", kWaitMs)) << Joined(tmux.Rows());
  EXPECT_TRUE(HasRow(tmux.Rows(), "<al:#a> line 30")) << Joined(tmux.Rows());
  server.SendLine(":al!a@h PRIVMSG #a :while away");
  tmux.Type("\x1b[5~");
  ASSERT_TRUE(tmux.WaitUntil([](const auto& rows) { return HasRow(rows, "<al:#a> line 10"); }, kWaitMs))
      << Joined(tmux.Rows());
  EXPECT_EQ(Joined(tmux.Rows()).find("while away"), std::string::npos);
  tmux.Type("\x1b[F");
  ASSERT_TRUE(tmux.WaitFor("while away", kWaitMs)) << Joined(tmux.Rows());
  ASSERT_TRUE(tmux.WaitUntil([&](const auto& rows) { return InputRow(rows) == "[#a]"; }, kWaitMs))
      << Joined(tmux.Rows());

  // Up recalls the sent line.
  tmux.Type("\x1b[A!\r");
  line = server.WaitForLine("PRIVMSG", kWaitMs);
  ASSERT_TRUE(line.has_value()) << server.received();
  EXPECT_EQ(*line, "PRIVMSG #a :>aX" + middle + "!");
  tmux.Type("/QUIT\r");
  ASSERT_TRUE(tmux.WaitForExit(kWaitMs)) << Joined(tmux.Rows());
}

INSTANTIATE_TEST_SUITE_P(Charsets, CallerTerminal, ::testing::Values("UTF-8", "CP437"), [](const auto& info) {
  return std::string(info.param[0] == 'U' ? "Utf8" : "Cp437");
});

}  // namespace
