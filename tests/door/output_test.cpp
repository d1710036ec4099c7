// Output to the caller and the local console: colour codes, the wrappers, PutStringAt.
#include <gtest/gtest.h>

#include "ansi/sequences.h"
#include "door/door.h"
#include "support/door_fixture.h"

namespace door {
namespace {

using testsupport::DoorFixture;

TEST(ColourCodes, AllSixteenBothCases) {
  const char* digits = "0123456789ABCDEF";
  for (int colour = 0; colour < 16; ++colour) {
    for (char digit : {digits[colour], static_cast<char>(std::tolower(digits[colour]))}) {
      SCOPED_TRACE(colour);
      EXPECT_EQ(ConvertColourCodes(std::string("x\x7F") + digit + "y"),
                "x" + ansi::AnsiForeground(colour) + "y");
    }
  }
  EXPECT_EQ(ConvertColourCodes("\x7F"
                               "C"),
            "\x1b[1;31m");
  EXPECT_EQ(ConvertColourCodes("\x7F"
                               "4"),
            "\x1b[0;31m");
}

TEST(ColourCodes, NonCodesPassThrough) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"a\x7FGb\x7F"
       "1c",
       "a\x7FGb\x1b[0;34mc"},  // non-hex letter kept, later code converted
      {"end\x7F", "end\x7F"},  // 0x7F as the last byte
      {"\x7F\x7F"
       "2",
       "\x7F\x1b[0;32m"},  // the byte after a lone 0x7F is scanned again
      {"\x7F"
       "8\x7F"
       "4",
       "\x1b[1;30m\x1b[0;31m"},  // back to back
      {"\x7F ", "\x7F "},
      {"", ""},
      {"plain \xFE text", "plain \xFE text"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertColourCodes(c.in), c.out) << c.in;
}

TEST(DoorWrite, CallerAndConsoleGetTheSameConvertedBytes) {
  DoorFixture f;
  f.door->DoorWrite(
      "\x7F"
      "CHi\x7F"
      "7!");
  EXPECT_EQ(f.CallerReceived(), "\x1b[1;31mHi\x1b[0;37m!");
  EXPECT_EQ(f.console.At(1, 1).ch, 'H');
  EXPECT_EQ(f.console.At(1, 1).attr, 0x0C);  // bright red on black
  EXPECT_EQ(f.console.At(3, 1).ch, '!');
  EXPECT_EQ(f.console.At(3, 1).attr, 0x07);
  EXPECT_EQ(f.local_ansi.ConsoleAttr(), 0x07);
}

TEST(DoorWrite, BrightCodeKeepsBackgroundDarkCodeResetsIt) {
  DoorFixture f;
  f.door->DoorSetAttr(0x1F);
  EXPECT_EQ(f.CallerReceived(), ansi::AnsiForeground(15) + ansi::AnsiBackground(1));
  f.door->DoorWrite(
      "\x7F"
      "Ea\x7F"
      "4b");
  EXPECT_EQ(f.console.At(1, 1).attr, 0x1E);
  EXPECT_EQ(f.console.At(2, 1).attr, 0x04);
}

TEST(DoorWrite, LocalConsoleIsWrittenBeforeTheCaller) {
  DoorFixture f;
  // The caller's end is gone and the link knows it: the local console still shows everything.
  f.DropCarrier();
  f.door->caller.Poll();
  f.door->DoorWriteLn("still here");
  EXPECT_EQ(f.console.RowText(1).substr(0, 10), "still here");
  EXPECT_EQ(f.console.WhereY(), 2);
}

TEST(DoorWrite, LocalModeSendsNothing) {
  DoorFixture f;
  f.door->visit.comm_type = 0;
  f.door->DoorWriteLn("local only");
  f.door->DoorClearScreen();
  f.door->DoorWrite("x");
  EXPECT_EQ(f.CallerReceived(), "");
  EXPECT_EQ(f.console.At(1, 1).ch, 'x');
}

TEST(DoorWrite, Wrappers) {
  DoorFixture f;
  f.door->DoorWriteLn("");
  EXPECT_EQ(f.CallerReceived(), "\r\n");
  f.door->DoorNewLine();
  EXPECT_EQ(f.CallerReceived(), "\r\n");
  f.door->DoorClearScreen();
  EXPECT_EQ(f.CallerReceived(), "\x1b[2J\x1b[H");
  f.door->DoorSetForeground(8);
  f.door->DoorSetBackground(4);
  EXPECT_EQ(f.CallerReceived(), "\x1b[1;30m\x1b[41m");

  f.door->DoorWrite("abcde");
  f.CallerReceived();
  f.door->DoorCursorToColumn(6);  // already there
  EXPECT_EQ(f.CallerReceived(), "");
  f.door->DoorCursorToColumn(2);
  EXPECT_EQ(f.CallerReceived(), "\x1b[4D");
  EXPECT_EQ(f.console.WhereX(), 2);
  f.door->DoorCursorToColumn(12);
  EXPECT_EQ(f.CallerReceived(), "\x1b[10C");
}

TEST(PutStringAt, WritesCellsOnlyAndKeepsCursorAndColour) {
  DoorFixture f;
  f.door->DoorWrite(
      "\x7F"
      "Aab");
  f.CallerReceived();
  const int col = f.console.CursorCol(), row = f.console.CursorRow();
  f.door->PutStringAt(
      "\x7F"
      "1\x1b[2Jst",
      79, 25, 0x1E);  // bytes are not interpreted; column 81 on is dropped
  EXPECT_EQ(f.CallerReceived(), "");
  EXPECT_EQ(f.console.At(79, 25).ch, 0x7F);
  EXPECT_EQ(f.console.At(80, 25).ch, '1');
  EXPECT_EQ(f.console.At(80, 25).attr, 0x1E);
  EXPECT_EQ(f.console.CursorCol(), col);
  EXPECT_EQ(f.console.CursorRow(), row);
  EXPECT_EQ(f.local_ansi.ConsoleAttr(), 0x0A);
  EXPECT_EQ(f.console.At(1, 1).ch, 'a');

  f.door->PutStringAt(std::string(1000, 'z'), 1, 25, 0x1F);  // long text cut; no overrun
  EXPECT_EQ(f.console.RowText(25), std::string(80, 'z'));
}

}  // namespace
}  // namespace door
