#include <gtest/gtest.h>

#include <string>

#include "door/door.h"
#include "irc/client/client.h"
#include "irc/targets_state.h"
#include "support/dial_link.h"
#include "support/door_fixture.h"
#include "support/scripted_server.h"
#include "support/temp_ini.h"

namespace irc {
namespace {

using testsupport::DoorFixture;
using testsupport::ScriptedServer;
using testsupport::TempIni;

// ANSI colour sequences that the door makes of the client's colour codes.
constexpr std::string_view kGrey = "\x1B[0;37m";
constexpr std::string_view kLightRed = "\x1B[1;31m";
constexpr std::string_view kWhite = "\x1B[1;37m";

class ScreenTest : public testing::Test {
 protected:
  std::string Caller() { return fixture_.CallerReceived(); }
  std::string Cat(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (std::string_view p : parts) s.append(p);
    return s;
  }
  std::string CursorRowText() { return fixture_.CursorRowText(); }

  DoorFixture fixture_;
  TempIni ini_{""};
  Client client_{*fixture_.door, ini_.path()};
};

TEST_F(ScreenTest, SetUpState) {
  EXPECT_EQ(client_.targets.names(), std::vector<std::string>{"Status"});
  EXPECT_EQ(client_.targets.active(), 0);
  EXPECT_EQ(client_.network_name, "<none>");
  EXPECT_EQ(client_.ident_window, 0);
  EXPECT_FALSE(client_.auto_join_pending);
  EXPECT_FALSE(client_.quit_requested);
  EXPECT_FALSE(client_.motd_requested);
  EXPECT_FALSE(client_.server_link.IsOpen());
  EXPECT_EQ(client_.config_file.Path(), ini_.path());
}

TEST_F(ScreenTest, ShowLineAndShowStatusBytes) {
  client_.ShowLine(
      "plain \x7F"
      "Btext");
  EXPECT_EQ(Caller(), Cat({kGrey, "plain \x1B[1;36mtext\r\n"}));

  client_.ShowStatus("Connecting to irc.example.net");
  std::string raw =
      "\x7F"
      "7\x7F"
      "C\xF9\x7F"
      "F\xED\x7F"
      "C\xF9\x7F"
      "7 Connecting to irc.example.net\r\n";
  std::string expected = Cat({kGrey, kLightRed, "\xF9", kWhite, "\xED", kLightRed, "\xF9", kGrey,
                              " Connecting to irc.example.net\r\n"});
  EXPECT_EQ(door::ConvertColourCodes(raw), expected);
  EXPECT_EQ(Caller(), expected);
  // Both screens got the same: the console shows the marker's bytes in their colours.
  EXPECT_EQ(fixture_.console.RowText(2).substr(0, 34), "\xF9\xED\xF9 Connecting to irc.example.net ");
  EXPECT_EQ(fixture_.console.At(1, 2).attr, 0x0C);
  EXPECT_EQ(fixture_.console.At(2, 2).attr, 0x0F);
  EXPECT_EQ(fixture_.console.At(5, 2).attr, 0x07);
}

TEST_F(ScreenTest, EraseInputLineInColumnOneWritesNothing) {
  ASSERT_EQ(fixture_.console.WhereX(), 1);
  client_.EraseInputLine();
  EXPECT_EQ(Caller(), "");
}

TEST_F(ScreenTest, DrawEraseAndRedrawInputLine) {
  client_.input_line = "hello";
  client_.DrawInputLine();
  EXPECT_EQ(Caller(), Cat({kGrey, "[Status] hello"}));
  EXPECT_EQ(fixture_.console.WhereX(), 15);

  client_.EraseInputLine();
  EXPECT_EQ(Caller(), "\x1B[14D\x1B[K");
  EXPECT_EQ(fixture_.console.WhereX(), 1);
  EXPECT_EQ(CursorRowText(), "");

  client_.DrawInputLine();
  client_.input_line = "hello!";
  Caller();
  client_.RedrawInputLine();
  EXPECT_EQ(Caller(), Cat({"\x1B[14D\x1B[K", kGrey, "[Status] hello!"}));
  EXPECT_EQ(CursorRowText(), "[Status] hello!");
}

TEST_F(ScreenTest, LongInputShowsItsTailWithin79Columns) {
  struct Case {
    std::string target;
    size_t input_length;
    size_t shown;
    std::string prompt_name;  // as the prompt shows the target
  };
  const std::string name50(50, 'c');
  const Case cases[] = {
      {"Status", 69, 69, "Status"},   // prompt of 9 + 69 = 78
      {"Status", 70, 70, "Status"},   // exactly 79
      {"Status", 200, 70, "Status"},  // only the last 70
      {"#chat", 100, 71, "#chat"},
      {name50, 30, 26, name50},                              // the longest name shown whole leaves 26 columns
      {name50 + "d", 30, 26, std::string(47, 'c') + "..."},  // longer ones are cut to as many
      {std::string(200, 'e'), 30, 26, std::string(47, 'e') + "..."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target.size());
    SetTargets(client_.targets, {"Status", c.target}, c.target == "Status" ? 0 : 1);
    client_.input_line.clear();
    for (size_t i = 0; i < c.input_length; ++i) client_.input_line.push_back(static_cast<char>('a' + i % 26));
    Caller();
    client_.DrawInputLine();
    std::string tail = client_.input_line.substr(client_.input_line.size() - c.shown);
    EXPECT_EQ(Caller(), Cat({kGrey, "[", c.prompt_name, "] ", tail}));
    client_.EraseInputLine();
    EXPECT_EQ(fixture_.console.WhereX(), 1);
    Caller();
  }
}

TEST_F(ScreenTest, ResetToDisconnected) {
  ScriptedServer server;
  ASSERT_TRUE(testsupport::DialLink(client_.server_link, "127.0.0.1", server.port()));
  ASSERT_TRUE(server.Accept(2000));
  SetTargets(client_.targets, {"Status", "#a", "#b"}, 2);
  client_.network_name = "MyNet";
  client_.input_line = "typed";
  client_.DrawInputLine();
  Caller();

  client_.ResetToDisconnected();
  EXPECT_EQ(Caller(), Cat({"\x1B[10D\x1B[K", kGrey, kLightRed, "\xF9", kWhite, "\xED", kLightRed, "\xF9",
                           kGrey, " Disconnected\r\n"}));
  EXPECT_EQ(client_.targets.names(), std::vector<std::string>{"Status"});
  EXPECT_EQ(client_.targets.active(), 0);
  EXPECT_EQ(client_.network_name, "<none>");
  EXPECT_EQ(client_.input_line, "typed");
  EXPECT_FALSE(client_.server_link.IsOpen());
  EXPECT_TRUE(server.WaitForClose(2000));
  EXPECT_EQ(server.received(), "");  // no QUIT of its own
}

}  // namespace
}  // namespace irc
