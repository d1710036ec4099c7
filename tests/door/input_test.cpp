// The merged key stream, the sysop keys and the line editor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ansi/sequences.h"
#include "door/door.h"
#include "door/key_sequence.h"
#include "door/program_end.h"
#include "support/door_fixture.h"

namespace door {
namespace {

using testsupport::DoorFixture;

constexpr uint8_t kF1 = 59, kAltC = 46, kAltH = 35, kAltK = 37, kUp = 72;

TEST(Keys, LocalKeyboardIsServedFirst) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  f.CallerTypes("c\r\n");
  f.console.PushKeys("l");
  EXPECT_EQ(f.door->DoorReadKey(), 'l');
  EXPECT_EQ(f.door->keys.last_key_source, KeySource::kLocal);
  EXPECT_EQ(f.door->DoorReadKey(), 'c');
  EXPECT_EQ(f.door->keys.last_key_source, KeySource::kCaller);
  EXPECT_FALSE(f.door->keys.last_key_extended);
  EXPECT_EQ(f.door->DoorReadKey(), '\r');  // CR LF arrives as one CR
  EXPECT_EQ(f.door->keys.last_key, '\r');
  EXPECT_FALSE(f.door->DoorKeyPressed());
}

// Cursor and editing keys from the caller arrive as the extended key of the same name (shown
// here as ^ and the scan code's character); function keys and a terminal's reports are dropped
// whole. An Esc stays a key, and so does the byte after it when that does not start a sequence.
// DEL is Backspace.
TEST(Keys, CallerKeySequencesBecomeExtendedKeysAndDelIsBackspace) {
  const struct {
    std::string typed;
    std::string keys;
  } cases[] = {
      {"a\x1b[Db", "a^Kb"},                                          // Left
      {"\x1bOP\x1b[11~\x1b[1;5C\x1b[[Ax", "^Mx"},                    // F1 twice, Ctrl-Right, F1
      {"\x1b[H\x1b[F\x1b[1~\x1b[4~\x1bOH\x1bOFy", "^G^O^G^O^G^Oy"},  // Home and End
      {"\x1b[A\x1bOB\x1b[3~\x1b[5~\x1b[6~\x1b[2~", "^H^P^S^I^Q^R"},  // Up, Down, Delete, pages, Insert
      {"\x1b[K\x1b[V\x1b[U\x1b[@", "^O^I^Q^R"},                      // SyncTERM: End, pages, Insert
      {"\x1b[12;40R\x1b[?1;2cq", "q"},                               // reports
      {"\x1b", "\x1b"},                                              // a lone Esc, after a short wait
      {"\x1bx", "\x1bx"},
      {"\x1b\x1b[Az", "\x1b^Hz"},
      {"\x1b[1\r", "\r"},  // broken off: Enter stays
      {"ab\x7f\x7f", "ab\b\b"},
      // Terminal reports longer than a key are dropped whole, up to their final byte.
      {"a\x1b[?64;1;2;6;9;15;16;17;18;21;22;28cb", "ab"},
      {"\x1b[>41;385;0c\x1b[?1;2c\x1b[123;456Rz", "z"},
      {"\x1b[" + std::string(kMaxLongSequence, '1') + "~x", std::string(2, '1') + "~x"},  // bounded
      {"\x1b[" + std::string(30, '1') + "\rx", "\rx"},  // broken off: Enter stays
  };
  for (const auto& c : cases) {
    DoorFixture f;
    f.door->visit.time_left = 86'400;
    f.CallerTypes(c.typed);
    std::string keys;
    while (keys.size() < c.keys.size()) {
      const char key = f.door->DoorReadKey();
      if (f.door->keys.last_key_extended) keys.push_back('^');
      keys.push_back(key);
    }
    EXPECT_EQ(keys, c.keys) << c.typed.substr(1);
    EXPECT_FALSE(f.door->DoorKeyPressed()) << c.typed.substr(1);
  }
}

// An ESC with nothing after it is the Esc key once the short wait has passed.
TEST(Keys, ALoneEscWaitsOnlyBriefly) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  f.CallerTypes("\x1b");
  const int64_t before = f.clock.MsOfDay();
  EXPECT_EQ(f.door->DoorReadKey(), '\x1b');
  EXPECT_LE(f.clock.MsOfDay() - before, kEscWaitMs + 10);
}

// After a termination signal a wait returns at once: an unfinished sequence is taken as it is
// instead of being waited for in a busy loop.
TEST(Keys, AnEndingProgramTakesAnUnfinishedSequenceWithoutWaiting) {
  DoorFixture f;
  f.CallerTypes("\x1b[1");
  f.door->caller.Poll();
  ASSERT_EQ(f.door->caller.ReadChar(), '\x1b');
  f.clock.RequestTermination();
  const int waits = f.clock.waits();
  EXPECT_TRUE(SkipKeySequence(f.door->caller, f.clock));
  EXPECT_EQ(f.clock.waits(), waits);
  EXPECT_TRUE(f.door->caller.Buffer().empty());
}

TEST(Keys, ExtendedLocalKeyGivesItsScanCode) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  f.console.PushExtendedKey(kUp);
  EXPECT_EQ(f.door->DoorReadKey(), 'H');
  EXPECT_TRUE(f.door->keys.last_key_extended);
  EXPECT_EQ(f.door->keys.last_key_source, KeySource::kLocal);
  f.console.PushKeys("H");
  EXPECT_EQ(f.door->DoorReadKey(), 'H');
  EXPECT_FALSE(f.door->keys.last_key_extended);
}

TEST(Keys, ReadingSetsIdleStart) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  f.clock.Advance(5'000);
  f.CallerTypes("x");
  EXPECT_EQ(f.door->DoorReadKey(), 'x');
  EXPECT_EQ(f.door->timers.idle_start, f.door->MonotonicMs());
}

TEST(Keys, AnIdleDoorWakesOnlyForTicks) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  f.door->timers.idle_limit = 30;
  int ticks = 0;
  f.door->on_status_bar = [&] { ++ticks; };
  EXPECT_THROW(f.door->DoorReadKey(), ProgramEnd);
  // 31 s of waiting in steps of just over 750 ms (ticks at 0, 751, ... 31542 ms): one wake-up per tick.
  EXPECT_EQ(ticks, 43);
  EXPECT_LE(f.clock.waits(), ticks + 1);
}

TEST(SysopKeys, F1CyclesPagesAndIsSwallowed) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  f.door->timers.active = false;  // only F1 draws here
  std::vector<int> pages;
  f.door->on_status_bar = [&] { pages.push_back(f.door->sysop.status_mode); };
  for (int i = 0; i < 3; ++i) f.console.PushExtendedKey(kF1);
  f.console.PushKeys("x");
  EXPECT_EQ(f.door->DoorReadKey(), 'x');
  EXPECT_EQ(pages, (std::vector<int>{2, 1, 2}));
}

TEST(SysopKeys, AltCStartsChatOnlyWhenNoneRuns) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  int chats = 0;
  f.door->on_chat = [&] {
    ++chats;
    f.door->DefaultChat();
  };
  f.console.PushExtendedKey(kAltC);
  f.console.PushExtendedKey(kAltH);
  f.console.PushExtendedKey(kAltK);
  f.console.PushKeys("a");
  f.console.PushExtendedKey(kAltC);  // inside the chat: nothing
  f.console.PushKeys(
      "\x1b"
      "b");
  // The chat's keys never reach the reader: the first key it gets is the one after the chat.
  EXPECT_EQ(f.door->DoorReadKey(), 'b');
  EXPECT_EQ(chats, 1);
  EXPECT_FALSE(f.door->sysop.chat_active);
}

TEST(SysopKeys, DoNotResetTheIdleClock) {
  DoorFixture f;
  f.door->visit.time_left = 86'400;
  f.door->timers.idle_limit = 10;
  const int64_t start = f.door->timers.idle_start;
  f.door->on_chat = nullptr;
  for (uint8_t scan : {kF1, kF1, kAltC, kAltH, kAltK}) f.console.PushExtendedKey(scan);
  int idle_seen = -1;
  f.door->on_idle_timeout = [&] { idle_seen = f.door->IdleSeconds(); };
  EXPECT_THROW(f.door->DoorReadKey(), ProgramEnd);
  EXPECT_EQ(idle_seen, 11);
  EXPECT_EQ(f.door->timers.idle_start, start);
}

// ---- line editor ----

struct EditorRun {
  std::string result;
  std::string sent;  // what the caller saw from the field's first byte on
};

EditorRun RunEditor(DoorFixture& f, std::string_view keys, std::string_view initial, char mask, int width,
                    int max_length,
                    std::string_view allowed = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") {
  f.door->visit.time_left = 86'400;
  f.door->on_status_bar = nullptr;
  f.door->DoorWrite("Pw: ");
  f.CallerReceived();
  f.console.PushKeys(keys);
  EditorRun run;
  run.result = f.door->DoorInputLine(initial, allowed, mask, width, max_length, 0x1F);
  run.sent = f.CallerReceived();
  return run;
}

const std::string kFieldAttr = ansi::AnsiAttr(0x1F);
const std::string kPlainAttr = ansi::AnsiAttr(0x07);

TEST(LineEditor, MaskedFieldScrollsPastItsWidth) {
  DoorFixture f;
  EditorRun run = RunEditor(f, "abcdefghijk\r", "", '*', 10, 100);
  EXPECT_EQ(run.result, "abcdefghijk");
  EXPECT_EQ(run.sent, kFieldAttr + std::string(10, ' ') + "\x1b[10D" + std::string(10, '*') + "\x1b[10D" +
                          std::string(10, '*') + kPlainAttr + "\r\n");
  EXPECT_EQ(f.console.RowText(1).substr(0, 15), "Pw: ********** ");
  EXPECT_EQ(f.console.At(5, 1).attr, 0x1F);
  EXPECT_EQ(f.local_ansi.ConsoleAttr(), 0x07);
}

TEST(LineEditor, UnmaskedScrollShowsTheLastWidthCharacters) {
  DoorFixture f;
  EditorRun run = RunEditor(f, "abcdefghijk\r", "", 0, 10, 100);
  EXPECT_EQ(run.result, "abcdefghijk");
  EXPECT_EQ(f.console.RowText(1).substr(0, 15), "Pw: bcdefghijk ");
}

TEST(LineEditor, BackspaceRedrawsOnlyWhileTheTextFillsTheWidth) {
  DoorFixture f;
  // 11 characters, then two backspaces: the first leaves 10 (redraw), the second 9 (no redraw).
  EditorRun run = RunEditor(f, "abcdefghijk\b\b\r", "", 0, 10, 100);
  EXPECT_EQ(run.result, "abcdefghi");
  const std::string typed =
      kFieldAttr + std::string(10, ' ') + "\x1b[10D" + "abcdefghij" + "\x1b[10D" + "bcdefghijk";
  EXPECT_EQ(run.sent, typed + "\b \b" + "\x1b[9D" + "abcdefghij" + "\b \b" + kPlainAttr + "\r\n");
}

TEST(LineEditor, CtrlYClearsAndRedraws) {
  DoorFixture f;
  EditorRun run = RunEditor(f, "\x19xy\r", "abc", 0, 5, 5);
  EXPECT_EQ(run.result, "xy");
  EXPECT_EQ(run.sent,
            kFieldAttr + "abc  " + "\x1b[2D" + "\x1b[3D" + "     " + "\x1b[5D" + "xy" + kPlainAttr + "\r\n");
}

TEST(LineEditor, EndingRules) {
  struct Case {
    const char* name;
    std::string keys, initial;
    int max_length;
    std::string result;
  } cases[] = {
      {"esc returns initial after edits", "\bq1\x1b", "abc", 40, "abc"},
      {"enter on empty is ignored", "\x19\r\rz\r", "abc", 40, "z"},
      {"initial cut to the maximum", "\x1b", "ABCDEFGHIJ", 5, "ABCDE"},
      {"full text takes no more", "xyz\r", "abcd", 5, "abcdx"},
      {"characters outside the set dropped", "1-2 q!\r", "", 40, "q"},
      {"backspace on empty is not a character", "\x19\b\bk\r", "ab", 40, "k"},
      {"enter with initial text", "\r", "SYSOP", 40, "SYSOP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DoorFixture f;
    EXPECT_EQ(RunEditor(f, c.keys, c.initial, 0, 10, c.max_length).result, c.result);
  }
}

TEST(LineEditor, InitialTextCutBeforeItIsShown) {
  DoorFixture f;
  EditorRun run = RunEditor(f, "\r", "ABCDEFGHIJ", 0, 10, 5);
  EXPECT_EQ(run.sent, kFieldAttr + "ABCDE     " + "\x1b[5D" + kPlainAttr + "\r\n");
}

TEST(LineEditor, CallerCursorKeysAreIgnoredAndDelErases) {
  DoorFixture f;
  f.CallerTypes("ab\x1b[Dc\x7f\x1bOPd\r");
  EXPECT_EQ(RunEditor(f, "", "", 0, 10, 40).result, "abd");
}

TEST(LineEditor, LocalUpArrowIsTheLetterH) {
  DoorFixture f;
  f.console.PushExtendedKey(kUp);
  EXPECT_EQ(RunEditor(f, "\r", "", 0, 10, 40).result, "H");
}

}  // namespace
}  // namespace door
