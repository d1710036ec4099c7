// The caller's charset: chosen by -C, by the INI's choice, or by probing the terminal at start-up;
// then every byte the caller gets is in it and every key it types arrives as UTF-8.
#include "text/caller_charset.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "door/door.h"
#include "door/program_end.h"
#include "platform/console.h"
#include "support/door_fixture.h"
#include "support/sockets.h"

namespace door {
namespace {

using testsupport::DoorFixture;
using text::CallerCharset;
using text::CharsetChoice;

// A door started with -H on a socket pair whose caller end has already written `answer`.
class Visit {
 public:
  Visit(CharsetChoice choice, std::string_view answer, std::vector<std::string> args = {}) {
    std::tie(door_end_, caller_end_) = testsupport::SocketPair();
    args.push_back("-H" + std::to_string(door_end_));
    f_ = std::make_unique<DoorFixture>(false, args);
    f_->door->visit.charset_choice = choice;
    f_->door->visit.time_left = 86'400;  // reading keys runs the visit checks
    if (!answer.empty()) testsupport::WriteAll(caller_end_, answer);
    const int64_t before = f_->clock.MsOfDay();
    f_->door->DoorStart();
    start_ms = f_->clock.MsOfDay() - before;
    received = testsupport::ReadAvailable(caller_end_, 0);
  }
  ~Visit() {
    f_.reset();
    close(door_end_);
    close(caller_end_);
  }
  Door& door() { return *f_->door; }
  DoorFixture& fixture() { return *f_; }
  std::string Received() { return testsupport::ReadAvailable(caller_end_, 0); }
  // The keys the door has for reading, without waiting.
  std::string Keys() {
    std::string keys;
    while (door().DoorKeyPressed()) {
      const char key = door().DoorReadKey();
      if (door().keys.last_key_extended) keys.push_back('^');  // a cursor key, by its scan code
      keys.push_back(key);
    }
    return keys;
  }

  int64_t start_ms = 0;
  std::string received;  // what the caller got during start-up

 private:
  int door_end_ = -1;
  int caller_end_ = -1;
  std::unique_ptr<DoorFixture> f_;
};

TEST(CharsetProbe, TheTerminalsAnswerDecides) {
  struct Row {
    const char* name;
    std::string answer;
    CallerCharset charset;
    int64_t start_ms;  // what the probe cost on the door's clock
    std::string keys;  // what is left for the key reader
  };
  const Row rows[] = {
      {"UTF-8 terminal: the zero-width character took no column", "\x1b[24;1R", CallerCharset::kUtf8, 0, ""},
      {"code page 437 terminal: three glyphs drawn", "\x1b[24;4R", CallerCharset::kCp437, 0, ""},
      {"column 2 still means UTF-8", "\x1b[3;2R", CallerCharset::kUtf8, 0, ""},
      {"silent terminal", "", CallerCharset::kCp437, 1500, ""},
      {"keys typed around the answer are kept", "a\x1b[1;1R\xC3\xA9", CallerCharset::kUtf8, 0, "a\xC3\xA9"},
      // Keys typed while the door waits are decoded like every later key: cursor keys are extended
      // keys (^ and the scan code here), function keys are dropped, DEL is Backspace, and terminal
      // reports are never typed.
      {"a cursor key is no answer", "\x1b[A", CallerCharset::kCp437, 1500, "^H"},
      {"cursor key and DEL before the answer",
       "ab\x1b[Dc\x7F"
       "d\x1b[1;4R",
       CallerCharset::kCp437, 0, "ab^Kc\bd"},
      {"a function key", "x\x1bOPy\x1b[1;1R", CallerCharset::kUtf8, 0, "xy"},
      {"the answer twice", "\x1b[1;1R\x1b[1;1Rok", CallerCharset::kUtf8, 0, "ok"},
      {"a device attributes report", "\x1b[?1;2c\x1b[1;4Rok", CallerCharset::kCp437, 0, "ok"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Visit visit(CharsetChoice::kAuto, row.answer);
    EXPECT_EQ(visit.door().visit.caller_charset, row.charset);
    EXPECT_EQ(visit.start_ms, row.start_ms);
    // After the telnet offers the probe, then the line cleared; the cleared screen follows.
    const size_t probe =
        visit.received.find(std::string(text::kCharsetProbe) + std::string(text::kProbeCleanUp));
    ASSERT_NE(probe, std::string::npos) << visit.received;
    EXPECT_GT(visit.received.find("\x1b[2J"), probe);
    EXPECT_EQ(visit.Keys(), row.keys);
  }
}

TEST(CharsetProbe, NeverOnTheLocalConsole) {
  Visit visit(CharsetChoice::kAuto, "\x1b[1;4R");
  for (int row = 1; row <= 25; ++row) {
    const std::string text = visit.fixture().console.RowText(row);
    EXPECT_EQ(text.find('\xEF'), std::string::npos) << row;
  }
}

TEST(CharsetProbe, NotSentWhenTheCharsetIsGiven) {
  struct Row {
    CharsetChoice choice;
    std::vector<std::string> args;
    CallerCharset charset;
  };
  const Row rows[] = {
      {CharsetChoice::kCp437, {}, CallerCharset::kCp437},
      {CharsetChoice::kUtf8, {}, CallerCharset::kUtf8},
      {CharsetChoice::kAuto, {"-CUTF-8"}, CallerCharset::kUtf8},
      {CharsetChoice::kUtf8, {"-CCP437"}, CallerCharset::kCp437},
      {CharsetChoice::kAuto, {"-CUS-ASCII"}, CallerCharset::kAscii},
      {CharsetChoice::kCp437, {"-CKLINGON"}, CallerCharset::kCp437},  // unknown: the INI's choice stays
  };
  for (const Row& row : rows) {
    Visit visit(row.choice, "", row.args);
    EXPECT_EQ(visit.door().visit.caller_charset, row.charset);
    EXPECT_EQ(visit.received.find("\x1b[6n"), std::string::npos);
    EXPECT_EQ(visit.start_ms, 0);
  }
}

TEST(CallerCharset, DoorTextReachesEachCallerInItsCharsetAndTheConsoleUnchanged) {
  struct Row {
    CharsetChoice choice;
    std::string expected;
  };
  const Row rows[] = {
      {CharsetChoice::kCp437, "\x1b[1;31m\xDA\xC4 \xF9"},
      {CharsetChoice::kUtf8, "\x1b[1;31m\xE2\x94\x8C\xE2\x94\x80 \xE2\x88\x99"},
      {CharsetChoice::kAscii, "\x1b[1;31m+- ."},
  };
  for (const Row& row : rows) {
    Visit visit(row.choice, "");
    visit.Received();
    visit.door().DoorWrite(
        "\x7F"
        "C\xDA\xC4 \xF9");
    EXPECT_EQ(visit.Received(), row.expected);
    EXPECT_EQ(visit.fixture().console.RowText(1).substr(0, 4), "\xDA\xC4 \xF9");
  }
}

TEST(CallerCharset, TypedCharactersArriveAsUtf8Keys) {
  struct Row {
    CharsetChoice choice;
    std::string typed;
    std::string keys;
  };
  const Row rows[] = {
      {CharsetChoice::kCp437, "h\x82!", "h\xC3\xA9!"},
      {CharsetChoice::kUtf8, "h\xC3\xA9!", "h\xC3\xA9!"},
      {CharsetChoice::kUtf8, "\xE2\x82", ""},  // the rest of the character has not come yet
  };
  for (const Row& row : rows) {
    Visit visit(row.choice, row.typed);
    EXPECT_EQ(visit.Keys(), row.keys);
  }
}

TEST(CallerCharset, TheLineEditorCountsCharacters) {
  // Three characters fill a field three wide; the fourth is refused by the length cap; Backspace
  // removes a whole character.
  std::string typed = "\xC3\xA9\xE4\xBD\xA0\xF0\x9F\x98\x80z\x08\r";
  Visit editor(CharsetChoice::kUtf8, typed);
  editor.Received();
  const std::string text = editor.door().DoorInputLine("", "abcz", 0, 3, 3, 0x07);
  EXPECT_EQ(text, "\xC3\xA9\xE4\xBD\xA0");
  const std::string shown = editor.Received();
  EXPECT_NE(shown.find("\xC3\xA9\xE4\xBD\xA0\xF0\x9F\x98\x80\x08 \x08"), std::string::npos) << shown;
}

}  // namespace
}  // namespace door
