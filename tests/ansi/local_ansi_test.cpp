#include "ansi/local_ansi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ansi/sequences.h"
#include "platform/console.h"

namespace {

struct Fixture {
  std::string name;
  std::string setup;  // written before the bytes under test
  std::string bytes;
  int col, row;           // expected cursor, window-relative
  uint8_t attr;           // expected attribute afterwards
  std::string row1 = "";  // expected start of window row 1 ("" = not checked)
  bool window24 = false;
};

// Runs the fixture once with the bytes in one write and once byte by byte.
void RunFixture(const Fixture& f, bool byte_by_byte) {
  platform::Console console;
  if (f.window24) console.SetWindow(1, 1, 80, 24);
  ansi::LocalAnsi ansi(console);
  ansi.LocalAnsiWrite(f.setup);
  if (byte_by_byte) {
    for (char c : f.bytes) ansi.LocalAnsiWrite(std::string_view(&c, 1));
  } else {
    ansi.LocalAnsiWrite(f.bytes);
  }
  SCOPED_TRACE(f.name + (byte_by_byte ? " (byte by byte)" : " (whole)"));
  EXPECT_EQ(console.WhereX(), f.col);
  EXPECT_EQ(console.WhereY(), f.row);
  EXPECT_EQ(ansi.ConsoleAttr(), f.attr);
  if (!f.row1.empty()) {
    EXPECT_EQ(console.RowText(console.WindowTop()).substr(0, f.row1.size()), f.row1);
  }
}

const Fixture kFixtures[] = {
    {"plain text", "", "abc", 4, 1, 0x07, "abc"},
    {"CUP home", "\x1b[5;5H", "\x1b[H", 1, 1, 0x07},
    {"CUP empty fields", "\x1b[5;5H", "\x1b[;H", 1, 1, 0x07},
    {"CUP row;col", "", "\x1b[3;7H", 7, 3, 0x07},
    {"f like H", "", "\x1b[2;4f", 4, 2, 0x07},
    {"CUP outside the 24-row window ignored", "\x1b[2;2H", "\x1b[25;80H", 2, 2, 0x07, "", true},
    {"CUB stops at column 1", "\x1b[1;10H", "\x1b[100D", 1, 1, 0x07},
    {"CUF stops at last column", "", "\x1b[200C", 80, 1, 0x07},
    {"CUU default one", "\x1b[5;5H", "\x1b[A", 5, 4, 0x07},
    {"CUD n", "\x1b[5;5H", "\x1b[3B", 5, 8, 0x07},
    {"save and restore", "\x1b[4;9H\x1b[s\x1b[1;1H", "\x1b[u", 9, 4, 0x07},
    {"clear screen", "junk", "\x1b[2J", 1, 1, 0x07, "    "},
    {"J without 2 does nothing", "junk", "\x1b[J\x1b[0J", 5, 1, 0x07, "junk"},
    {"K clears to end of line", "abcdef\x1b[1;3H", "\x1b[K", 3, 1, 0x07, "ab    "},
    {"m resets", "\x1b[1;31m", "\x1b[m", 1, 1, 0x07},
    {"bold red", "", "\x1b[1;31m", 1, 1, 0x0C},
    {"dark red resets first", "\x1b[1;44m", "\x1b[0;31m", 1, 1, 0x04},
    {"reverse 0x1E", "\x1b[1;33m\x1b[44m", "\x1b[7m", 1, 1, 0x61},
    {"34 on bright white gives bright blue", "\x1b[1;37m", "\x1b[34m", 1, 1, 0x09},
    {"34 on light grey gives blue", "", "\x1b[34m", 1, 1, 0x01},
    {"8 conceals", "", "\x1b[8m", 1, 1, 0x00},
    {"background keeps foreground", "\x1b[1;32m", "\x1b[41m", 1, 1, 0x4A},
    {"private mode consumed silently", "", "\x1b[?25h", 1, 1, 0x07, "     "},
    {"h l p consumed", "", "\x1b[4l\x1b[0p", 1, 1, 0x07, "   "},
    {"ESC not followed by [ draws the letter", "", "\x1bX", 2, 1, 0x07, "X"},
    {"ESC then text then [ starts a sequence", "",
     "\x1b"
     "ab[1;31mc",
     4, 1, 0x0C, "abc"},
    {"second ESC inside a sequence changes nothing", "", "\x1b[1\x1b;31m", 1, 1, 0x0C},
    {"more than eight fields ignored", "", "\x1b[0;0;0;0;0;0;0;0;1;31m", 1, 1, 0x07},
    {"huge numbers do not disturb", "", "\x1b[99999999999999999999;3Hx\x1b[1;31m", 2, 1, 0x0C, "x"},
    {"BS at column 1 does nothing", "", "\x08", 1, 1, 0x07},
    {"BEL draws nothing", "", "\x07", 1, 1, 0x07, " "},
    {"CR LF", "abc", "\r\n", 1, 2, 0x07},
};

TEST(LocalAnsi, FixturesWholeAndByteByByte) {
  for (const auto& f : kFixtures) {
    RunFixture(f, false);
    RunFixture(f, true);
  }
}

// The door's own colour sequences, drawn whole, set the same attribute as when they arrive a byte
// at a time and go through the parser: from every attribute the console may be in.
TEST(LocalAnsi, DoorColourSequencesWholeMatchTheParser) {
  std::vector<std::string> sequences;
  for (int colour = 0; colour < 16; ++colour) sequences.push_back(ansi::AnsiForeground(colour));
  for (int colour = 0; colour < 8; ++colour) sequences.push_back(ansi::AnsiBackground(colour));
  for (const std::string& sequence : sequences) {
    for (int start = 0; start < 256; ++start) {
      platform::Console whole_console;
      platform::Console split_console;
      ansi::LocalAnsi whole(whole_console);
      ansi::LocalAnsi split(split_console);
      whole.SetConsoleAttr(static_cast<uint8_t>(start));
      split.SetConsoleAttr(static_cast<uint8_t>(start));
      whole.LocalAnsiWrite(sequence + "x");
      for (const char c : sequence + "x") split.LocalAnsiWrite(std::string_view(&c, 1));
      ASSERT_EQ(whole.ConsoleAttr(), split.ConsoleAttr())
          << "attribute " << start << " then " << sequence.substr(1);
      ASSERT_EQ(whole_console.At(1, 1), split_console.At(1, 1));
    }
  }
}

TEST(LocalAnsi, SequenceSplitAcrossCallsClears) {
  platform::Console console;
  ansi::LocalAnsi ansi(console);
  ansi.LocalAnsiWrite("hello\x1b");
  ansi.LocalAnsiWrite("[2J");
  EXPECT_EQ(console.RowText(1), std::string(80, ' '));
  EXPECT_EQ(console.WhereX(), 1);
}

TEST(LocalAnsi, ColourAppliesToCells) {
  platform::Console console;
  ansi::LocalAnsi ansi(console);
  ansi.LocalAnsiWrite("\x1b[1;31mR\x1b[0;32mG");
  EXPECT_EQ(console.At(1, 1), (platform::Cell{'R', 0x0C}));
  EXPECT_EQ(console.At(2, 1), (platform::Cell{'G', 0x02}));
}

TEST(LocalAnsi, BellBeeps) {
  platform::Console console;
  ansi::LocalAnsi ansi(console);
  ansi.LocalAnsiWrite("\x07");
  EXPECT_EQ(console.Beeps(), 1);
}

TEST(AnsiSequences, WorkedValues) {
  EXPECT_EQ(ansi::AnsiForeground(12), "\x1b[1;31m");
  EXPECT_EQ(ansi::AnsiForeground(1), "\x1b[0;34m");
  EXPECT_EQ(ansi::AnsiForeground(7), "\x1b[0;37m");
  EXPECT_EQ(ansi::AnsiForeground(8), "\x1b[1;30m");
  EXPECT_EQ(ansi::AnsiForeground(16), "");
  EXPECT_EQ(ansi::AnsiAttr(0x1F), "\x1b[1;37m\x1b[44m");
  EXPECT_EQ(ansi::AnsiAttr(0x07), "\x1b[0;37m\x1b[40m");
  EXPECT_EQ(ansi::AnsiCursorLeft(3), "\x1b[3D");
  EXPECT_EQ(ansi::AnsiCursorLeft(12), "\x1b[12D");
  EXPECT_EQ(ansi::AnsiCursorRight(4), "\x1b[4C");
  EXPECT_EQ(ansi::AnsiClearScreen(), "\x1b[2J\x1b[H");
  for (int c = 0; c < 8; ++c)
    EXPECT_EQ(ansi::AnsiBackground(c), "\x1b[" + std::to_string(40 + ansi::kColourMap[c]) + "m");
}

TEST(AnsiSequences, CursorToColumnFollowsTheLocalCursor) {
  platform::Console console;
  console.Write("abcde");  // cursor in column 6
  EXPECT_EQ(ansi::AnsiCursorToColumn(console, 6), "");
  EXPECT_EQ(ansi::AnsiCursorToColumn(console, 2), "\x1b[4D");
  EXPECT_EQ(ansi::AnsiCursorToColumn(console, 10), "\x1b[4C");
}

// The builders' output, fed back through the interpreter, lands on the attribute it names.
TEST(AnsiSequences, RoundTripThroughInterpreter) {
  for (int a = 0; a < 128; ++a) {
    platform::Console console;
    ansi::LocalAnsi ansi(console);
    ansi.LocalAnsiWrite(ansi::AnsiAttr(static_cast<uint8_t>(a)));
    EXPECT_EQ(ansi.ConsoleAttr(), a) << a;
  }
}

}  // namespace
