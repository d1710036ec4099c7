// Output to the caller and the local console: colour codes, the wrappers, PutStringAt.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ansi/sequences.h"
#include "door/door.h"
#include "support/door_fixture.h"
#include "text/caller_charset.h"
#include "text/caller_writer.h"
#include "text/irc_text.h"

namespace door {
namespace {

using testsupport::DoorFixture;

// A line written straight into the writer (shown text, IRC text from its decoder, CR LF) gives the
// caller the same bytes and the console the same cells, colours and cursor as the line built as
// shown text and written with DoorWrite: for each caller charset, also after an unfinished control
// sequence.
TEST(DoorWriteWith, SameAsTheLineThroughShownText) {
  const std::string pieces[] = {
      "word ",
      "\x02",
      "\x03"
      "4",
      "\x03"
      "0,2",
      "\x03"
      "12,1",
      "\x03",
      "\x16",
      "\x0F",
      "\x1F",
      "\x7F"
      "9",
      "\x7F",
      "\xC3\xA9",
      "\xE2\x82\xAC",
      "\xE4\xBD\xA0",
      "\xCC\x81",
      "\xF0\x9F\x98\x80",
      "\x1b[2J",
      "\x07",
      "\x80",
      "\xFF",
      std::string(60, 'x'),
  };
  std::vector<std::string> lines;
  uint32_t seed = 99;
  for (int n = 0; n < 150; ++n) {
    std::string line;
    for (int k = 0; k < 1 + n % 9; ++k) {
      seed = seed * 1103515245 + 12345;
      line += pieces[(seed >> 16) % std::size(pieces)];
    }
    lines.push_back(line);
  }
  const std::string prefixes[] = {"",
                                  "\x7F"
                                  "7",
                                  "\x7F"
                                  "7\x7F"
                                  "C\xF9\x7F"
                                  "F\xED\x7F"
                                  "C\xF9\x7F"
                                  "7 "};
  for (const auto charset :
       {text::CallerCharset::kCp437, text::CallerCharset::kUtf8, text::CallerCharset::kAscii}) {
    for (const std::string before : {"", "\x1b[1"}) {
      DoorFixture direct;
      DoorFixture shown;
      direct.door->visit.caller_charset = charset;
      shown.door->visit.caller_charset = charset;
      direct.door->DoorWrite(before);
      shown.door->DoorWrite(before);
      for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& prefix = prefixes[n % std::size(prefixes)];
        direct.door->DoorWriteWith([&](text::CallerWriter& writer) {
          writer.Shown(prefix);
          text::WriteIrcText(writer, lines[n]);
          writer.Ascii("\r\n");
        });
        std::string text = prefix;
        text::AppendIrcText(text, lines[n]);
        text += "\r\n";
        shown.door->DoorWrite(text);
        ASSERT_EQ(direct.CallerReceived(), shown.CallerReceived()) << testing::PrintToString(lines[n]);
        for (int row = 1; row <= platform::Console::kRows; ++row) {
          for (int col = 1; col <= platform::Console::kCols; ++col) {
            ASSERT_EQ(direct.console.At(col, row), shown.console.At(col, row))
                << testing::PrintToString(lines[n]);
          }
        }
        ASSERT_EQ(direct.console.CursorCol(), shown.console.CursorCol());
        ASSERT_EQ(direct.console.CursorRow(), shown.console.CursorRow());
        ASSERT_EQ(direct.console.TextAttr(), shown.console.TextAttr());
      }
    }
  }
}

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
  f.door->visit.comm_type = door::CommType::kLocal;
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
