// Editing the input line with the keys terminals send, through the real input path (Typist). For
// a code page 437 caller the caller's screen must show exactly what the local console shows,
// cursor included.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "text/caller_charset.h"
#include "typist.h"

namespace irc {
namespace {

constexpr std::string_view kGrey = "\x1B[0;37m";
const std::string kLeft = "\x1B[D";
const std::string kRight = "\x1B[C";
const std::string kHome = "\x1B[H";
const std::string kEnd = "\x1B[F";
const std::string kDelete = "\x1B[3~";
const std::string kUp = "\x1B[A";
const std::string kDown = "\x1B[B";

std::string Letters(size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text.push_back(static_cast<char>('a' + i % 26));
  return text;
}

// Each case: typed first (its output not looked at), then the keys, whose output is exactly
// `sent`; the line, and the cursor's column on both screens.
struct EditCase {
  const char* name;
  std::string typed;
  std::string keys;
  std::string line;
  std::string sent;
  int column;
};

TEST(LineEditing, KeysEditAtTheCursorAndSendOnlyWhatChanged) {
  const EditCase cases[] = {
      {"LeftThenInsert", "abc", kLeft + kLeft + "X", "aXbc", "\b\bXbc\x1B[2D", 12},
      {"LeftApplicationMode", "abc", "\x1BOD", "abc", "\b", 12},
      {"HomeCtrlA", "abc", "\x01", "abc", "\x1B[3D", 10},
      {"HomeSequences", "abc", kHome + kEnd + "\x1B[1~" + "\x1B[4~" + "\x1BOH", "abc",
       "\x1B[3Dabc\x1B[3Dabc\x1B[3D", 10},
      {"EndCtrlEAndSyncTermEnd", "abc", "\x01\x05\x01\x1B[K", "abc", "\x1B[3Dabc\x1B[3Dabc", 13},
      {"RightRewritesTheCharacter", "abc", kHome + kRight, "abc", "\x1B[3Da", 11},
      {"DeleteUnderTheCursor", "abc", kHome + kDelete, "bc", "\x1B[3Dbc \x1B[3D", 10},
      {"DeleteAtTheEndDoesNothing", "abc", kDelete + kRight, "abc", "", 13},
      {"BackspaceInTheMiddle", "abc", kLeft + "\b", "ac", "\b\bc \x1B[2D", 11},
      {"DelIsBackspaceInTheMiddle", "abc", kLeft + "\x7F", "ac", "\b\bc \x1B[2D", 11},
      {"BackspaceAtTheStartDoesNothing", "abc", kHome + "\b" + kLeft, "abc", "\x1B[3D", 10},
      {"CtrlUCutsToTheStart", "abc def", kLeft + kLeft + "\x15", "ef", "\b\b\x1B[5Def\x1B[K\x1B[2D", 10},
      {"CtrlKCutsToTheEnd", "abc def", kHome + kRight + "\x0B", "a", "\x1B[7Da\x1B[K", 11},
      {"CtrlWCutsTheWordBefore", "abc def  ", "\x17", "abc ", "\x1B[5D\x1B[K", 14},
      {"CtrlWInTheMiddle", "abc def", kLeft + "\x17", "abc f", "\b\x1B[2Df\x1B[K\b", 14},
      {"OtherControlKeysDoNothing", "abc", std::string("\x02\x06\x0E\x10\x1BOP\x1B[11~\x1B[2~"), "abc", "",
       13},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    Typist t;
    t.Type(c.typed);
    t.Sent();
    t.Type(c.keys);
    EXPECT_EQ(t.Sent(), c.sent);
    EXPECT_EQ(t.client_.input_line, c.line);
    EXPECT_EQ(t.Row(), Typist::Trimmed("[Status] " + c.line));
    EXPECT_EQ(t.Column(), c.column);
    EXPECT_EQ(t.CallerRow(), t.Row());
    EXPECT_EQ(t.CallerColumn(), t.Column());
  }
}

// A code page 437 caller's characters are one column each wherever they are inserted.
TEST(LineEditing, CodePage437CharactersInTheMiddle) {
  Typist t;
  t.Type("ab\x82" + kLeft + kLeft + "\x81" + kDelete);
  EXPECT_EQ(t.client_.input_line, "a\xC3\xBC\xC3\xA9");
  EXPECT_EQ(t.Row(), "[Status] a\x81\x82");
  t.Sent();
  EXPECT_EQ(t.CallerRow(), t.Row());
  EXPECT_EQ(t.CallerColumn(), 12);
  EXPECT_EQ(t.Column(), 12);
}

// A line longer than the row: the visible part follows the cursor, and moves back to show the
// line's end when the cursor returns there.
TEST(LineEditing, TheVisiblePartFollowsTheCursor) {
  Typist t;
  const std::string typed = Letters(100);
  t.Type(typed);
  EXPECT_EQ(t.Row(), "[Status] " + typed.substr(30));
  t.Sent();
  t.Type(kLeft);  // still inside the row: only the cursor moves
  EXPECT_EQ(t.Sent(), "\b");
  EXPECT_EQ(t.Column(), 79);
  t.Type(kHome);  // the start of the line comes into view
  EXPECT_EQ(t.Row(), "[Status] " + typed.substr(0, 70));
  EXPECT_EQ(t.Column(), 10);
  t.Type("\x05");  // End
  EXPECT_EQ(t.Row(), "[Status] " + typed.substr(30));
  EXPECT_EQ(t.Column(), 80);
  t.Type(kHome);
  for (int i = 0; i < 75; ++i) t.Type(kRight);  // the row moves along just enough
  EXPECT_EQ(t.Row(), "[Status] " + typed.substr(6, 70));
  EXPECT_EQ(t.Column(), 79);
  t.Type("Z");
  EXPECT_EQ(t.client_.input_line, typed.substr(0, 75) + "Z" + typed.substr(75));
  EXPECT_EQ(t.Row(), "[Status] " + t.client_.input_line.substr(7, 70));
  EXPECT_EQ(t.Column(), 79);
  t.Sent();
  EXPECT_EQ(t.CallerRow(), t.Row());
  EXPECT_EQ(t.CallerColumn(), t.Column());
  // The limit holds wherever the cursor is.
  t.Type(std::string(150, 'y'));
  EXPECT_EQ(t.client_.input_line.size(), 200u);
}

// A UTF-8 caller's wide characters take two columns there and one on the console: moves over
// them redraw the row from its start, so each screen puts the cursor in its own right column.
TEST(LineEditing, MovesOverWideCharactersRedrawTheRow) {
  Typist t;
  t.fixture_.door->visit.caller_charset = text::CallerCharset::kUtf8;
  const std::string wide = "\xE4\xBD\xA0";  // U+4F60
  t.TypeUtf8("a" + wide + "b");
  t.Sent();
  t.Type(kLeft);
  EXPECT_EQ(t.Sent(), "\b");
  t.Type(kLeft);
  EXPECT_EQ(t.Sent(), "\x1B[12D\x1B[K" + std::string(kGrey) + "[Status] a" + wide + "b\r" +
                          std::string(kGrey) + "[Status] a");
  EXPECT_EQ(t.Column(), 11);
  t.Type("\x0B");  // Ctrl-K: erased from the cursor on
  EXPECT_EQ(t.Sent(), "\x1B[K");
  EXPECT_EQ(t.client_.input_line, "a");
  t.TypeUtf8(wide);
  t.Type(kHome + "c");  // typing before the wide character redraws too
  EXPECT_EQ(t.client_.input_line, "ca" + wide);
  EXPECT_EQ(t.Row(), "[Status] ca?");
  EXPECT_EQ(t.Column(), 11);
  t.Sent();
  t.Type("\r");  // erased whole from the caller's column
  EXPECT_EQ(t.Sent().substr(0, 8), "\x1B[10D\x1B[K");
}

TEST(LineEditing, UpAndDownRecallSentLinesKeepingTheTypedOne) {
  Typist t;
  for (const char* line : {"one\r", "/two\r", "three\r"}) t.Type(line);
  t.Type("draft");
  t.Sent();
  const struct {
    std::string key;
    std::string line;
  } steps[] = {
      {kUp, "three"},   {kUp, "/two"},    {kUp, "one"},     {kUp, "one"},        {kDown, "/two"},
      {kDown, "three"}, {kDown, "draft"}, {kDown, "draft"}, {"\x1BOA", "three"},
  };
  for (const auto& step : steps) {
    t.Type(step.key);
    EXPECT_EQ(t.client_.input_line, step.line);
    EXPECT_EQ(t.Row(), "[Status] " + step.line);
    EXPECT_EQ(t.Column(), 10 + static_cast<int>(step.line.size()));
  }
  t.Sent();
  EXPECT_EQ(t.CallerRow(), t.Row());
  // Up with nothing sent yet, and the oldest of more than 50 lines gone.
  Typist fresh;
  fresh.Type(kUp + kDown);
  EXPECT_EQ(fresh.Sent(), "");
  for (int i = 0; i < 60; ++i) fresh.Type(std::to_string(i) + "\r");
  for (int i = 0; i < 70; ++i) fresh.Type(kUp);
  EXPECT_EQ(fresh.client_.input_line, "10");
}

}  // namespace
}  // namespace irc
