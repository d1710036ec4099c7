// Typing on the input line through the real input path: bytes from the caller's socket, read by
// the door's key reader, handed to the client one key at a time.
#include <gtest/gtest.h>

#include <string>

#include "door/door.h"
#include "irc/client/client.h"
#include "irc/targets_state.h"
#include "support/door_fixture.h"
#include "support/temp_ini.h"
#include "text/caller_charset.h"

namespace irc {
namespace {

using testsupport::DoorFixture;
using testsupport::TempIni;

constexpr std::string_view kGrey = "\x1B[0;37m";
constexpr char kCtrlX = 0x18;

class InputLineTest : public testing::Test {
 protected:
  InputLineTest() {
    fixture_.door->visit.time_left = 86'400;
    client_.DrawInputLine();
    Caller();
  }

  // The caller types keys; each is read by the door and handed to the client.
  void Type(std::string_view keys) {
    fixture_.CallerTypes(keys);
    while (fixture_.door->DoorKeyPressed()) client_.HandleKey(fixture_.door->DoorReadKey());
  }
  std::string Caller() { return fixture_.CallerReceived(); }
  std::string CursorRowText() { return fixture_.CursorRowText(); }

  DoorFixture fixture_;
  TempIni ini_{""};
  Client client_{*fixture_.door, ini_.path()};
};

TEST_F(InputLineTest, CtrlXCyclesTheChannelsAndRedrawsThePrompt) {
  SetTargets(client_.targets, {"Status", "#a", "#bb"}, 0);
  Type("hi");
  Caller();
  const struct {
    int active;
    std::string shown;
  } steps[] = {{1, "[#a] hi"}, {2, "[#bb] hi"}, {1, "[#a] hi"}};
  std::string before = "[Status] hi";
  for (const auto& step : steps) {
    Type(std::string(1, kCtrlX));
    EXPECT_EQ(client_.targets.active(), step.active);
    EXPECT_EQ(Caller(),
              "\x1B[" + std::to_string(before.size()) + "D\x1B[K" + std::string(kGrey) + step.shown);
    EXPECT_EQ(CursorRowText(), step.shown);
    before = step.shown;
  }
  EXPECT_EQ(client_.input_line, "hi");
}

TEST_F(InputLineTest, CtrlXThatChangesNothingSendsNothing) {
  Type(std::string(1, kCtrlX));
  EXPECT_EQ(client_.targets.active(), 0);
  EXPECT_EQ(Caller(), "");
  // One channel, already active: Ctrl-X stays on it.
  SetTargets(client_.targets, {"Status", "#a"}, 1);
  Type(std::string(5, kCtrlX));
  EXPECT_EQ(client_.targets.active(), 1);
  EXPECT_EQ(Caller(), "");
}

TEST_F(InputLineTest, BackspaceRubsOutTheLastCharacter) {
  Type("abc");
  EXPECT_EQ(Caller(), "abc");
  Type("\b");
  EXPECT_EQ(Caller(), "\b \b");
  EXPECT_EQ(client_.input_line, "ab");
  EXPECT_EQ(CursorRowText(), "[Status] ab");
  Type("\b\b\b");  // the third finds the line empty: nothing is sent
  EXPECT_EQ(Caller(), "\b \b\b \b");
  EXPECT_EQ(client_.input_line, "");
  EXPECT_EQ(CursorRowText(), "[Status]");
}

TEST_F(InputLineTest, ControlKeysAreIgnored) {
  Type("a\x02\x1B\x9B");  // 0x9B is a character (a cent sign) from a code page 437 caller
  EXPECT_EQ(Caller(), "a\x9B");
  EXPECT_EQ(client_.input_line, "a\xC2\xA2");
}

// A code page 437 caller's byte above 127 is one character, kept as UTF-8 and rubbed out whole.
TEST_F(InputLineTest, CharactersAboveAsciiAreOneColumnEach) {
  Type("\x82t\x82\b");
  EXPECT_EQ(Caller(), "\x82t\x82\b \b");
  EXPECT_EQ(client_.input_line, "\xC3\xA9t");
  EXPECT_EQ(CursorRowText(), "[Status] \x82t");
}

// A UTF-8 caller's terminal gives a wide character two columns, the console its one-column
// stand-in: the row is counted in the caller's columns, and erasing the line moves left by them.
TEST_F(InputLineTest, WideCharactersTakeTwoColumnsOnAUtf8Caller) {
  fixture_.door->visit.caller_charset = text::CallerCharset::kUtf8;
  const std::string wide = "\xE4\xBD\xA0";  // U+4F60
  const auto type = [&](std::string_view bytes) {
    for (const char c : bytes) client_.HandleKey(c);
  };
  type("a" + wide + "b");
  EXPECT_EQ(Caller(), "a" + wide + "b");
  EXPECT_EQ(CursorRowText(), "[Status] a?b");
  type("\b");  // b: one column on both, rubbed out in place
  EXPECT_EQ(Caller(), "\b \b");
  type("\b");  // the wide character: the line is redrawn from two columns further left
  EXPECT_EQ(Caller(), "\x1B[12D\x1B[K" + std::string(kGrey) + "[Status] a");
  EXPECT_EQ(client_.input_line, "a");

  // 70 columns are left after "[Status] ": 34 wide characters fit, the 35th redraws the line.
  type("\b");
  Caller();
  std::string typed;
  for (int i = 0; i < 34; ++i) typed += wide;
  type(typed);
  EXPECT_EQ(Caller(), typed);
  type(wide);
  typed += wide;
  EXPECT_EQ(Caller(), "\x1B[77D\x1B[K" + std::string(kGrey) + "[Status] " + typed);
  type(wide);  // 36 would take 72 columns: the last 35 are shown
  EXPECT_EQ(Caller(), "\x1B[79D\x1B[K" + std::string(kGrey) + "[Status] " + typed);
  type("\r");  // the line is sent and erased whole from the caller's column 80
  EXPECT_EQ(Caller().substr(0, 8), "\x1B[79D\x1B[K");
}

// Terminals send DEL for Backspace, and function keys as escape sequences, which are one key
// each and leave the line as it is.
TEST_F(InputLineTest, DelErasesAndFunctionKeysAreIgnored) {
  Type("abcd\x7F\x7F");
  EXPECT_EQ(client_.input_line, "ab");
  Caller();
  Type("\x1BOP\x1B[11~\x1B[[A\x1B[15;2~XY");
  EXPECT_EQ(Caller(), "XY");
  EXPECT_EQ(client_.input_line, "abXY");
}

TEST_F(InputLineTest, SysopCursorKeysTypeNothing) {
  fixture_.console.PushExtendedKey(75);  // Left, whose scan code is the letter K
  fixture_.console.PushKeys("k");
  while (fixture_.door->DoorKeyPressed()) client_.HandleKey(fixture_.door->DoorReadKey());
  EXPECT_EQ(client_.input_line, "k");
}

// "[Status] " takes 9 columns: 69 typed characters are echoed one by one; the 70th would reach
// column 79, so from there on every key redraws the line showing its last 70 characters.
TEST_F(InputLineTest, RedrawFromColumn79On) {
  std::string typed;
  for (int i = 0; i < 69; ++i) typed.push_back(static_cast<char>('a' + i % 26));
  Type(typed);
  EXPECT_EQ(Caller(), typed);

  Type("X");
  typed += 'X';
  EXPECT_EQ(Caller(), "\x1B[78D\x1B[K" + std::string(kGrey) + "[Status] " + typed);
  EXPECT_EQ(fixture_.console.WhereX(), 80);

  Type("Y");
  typed += 'Y';
  EXPECT_EQ(Caller(), "\x1B[79D\x1B[K" + std::string(kGrey) + "[Status] " + typed.substr(1));
  EXPECT_EQ(CursorRowText(), "[Status] " + typed.substr(1));

  Type("\b");  // back to 70 characters: still redrawn
  EXPECT_EQ(Caller(), "\x1B[79D\x1B[K" + std::string(kGrey) + "[Status] " + typed.substr(0, 70));
  Type("\b");  // 69 fit: a plain rub-out
  EXPECT_EQ(Caller(), "\b \b");
  EXPECT_EQ(CursorRowText(), "[Status] " + typed.substr(0, 69));
}

// Keys that change nothing send nothing, however many there are.
TEST_F(InputLineTest, LineStopsGrowingAt200AndFurtherKeysSendNothing) {
  Type(std::string(200, 'z'));
  Caller();
  Type(std::string(1000, 'y'));
  EXPECT_EQ(Caller(), "");
  EXPECT_EQ(client_.input_line, std::string(200, 'z'));
  EXPECT_EQ(CursorRowText(), "[Status] " + std::string(70, 'z'));
}

}  // namespace
}  // namespace irc
