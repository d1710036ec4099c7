#include "platform/console.h"

#include <gtest/gtest.h>

namespace {

TEST(Console, WrapsAtTheWindowEdgeAndScrollsInsideTheWindow) {
  platform::Console c;
  c.SetWindow(1, 1, 80, 24);
  c.WriteCells(1, 25, "status", 0x1F);
  for (int row = 1; row <= 24; ++row) {
    c.GotoXY(1, row);
    c.Write(std::string(1, static_cast<char>('A' + row - 1)));
  }
  c.GotoXY(80, 24);
  c.Write("z");  // the last cell: wraps and scrolls
  EXPECT_EQ(c.WhereX(), 1);
  EXPECT_EQ(c.WhereY(), 24);
  EXPECT_EQ(c.At(1, 1).ch, 'B');
  EXPECT_EQ(c.At(80, 23).ch, 'z');
  EXPECT_EQ(c.RowText(24), std::string(80, ' '));
  EXPECT_EQ(c.RowText(25).substr(0, 6), "status");  // outside the window: untouched
}

TEST(Console, TeletypeControls) {
  platform::Console c;
  c.Write("abc\x08");
  EXPECT_EQ(c.WhereX(), 3);
  EXPECT_EQ(c.At(3, 1).ch, 'c');  // BS erases nothing
  c.Write("\r");
  EXPECT_EQ(c.WhereX(), 1);
  c.Write("\x08");
  EXPECT_EQ(c.WhereX(), 1);
  c.Write("\x07");
  EXPECT_EQ(c.Beeps(), 1);
  c.Write("\n");
  EXPECT_EQ(c.WhereY(), 2);
  EXPECT_EQ(c.WhereX(), 1);
}

TEST(Console, ScrollFillsNewLineWithCurrentAttribute) {
  platform::Console c;
  c.SetWindow(1, 1, 80, 2);
  c.SetTextAttr(0x1F);
  c.Write("\n\n");
  EXPECT_EQ(c.At(1, 2), (platform::Cell{' ', 0x1F}));
}

TEST(Console, GotoOutsideWindowIgnored) {
  platform::Console c;
  c.SetWindow(10, 5, 20, 10);
  EXPECT_EQ(c.CursorCol(), 10);
  EXPECT_EQ(c.CursorRow(), 5);
  c.GotoXY(3, 2);
  c.GotoXY(12, 1);
  c.GotoXY(1, 7);
  EXPECT_EQ(c.WhereX(), 3);
  EXPECT_EQ(c.WhereY(), 2);
  EXPECT_EQ(c.CursorCol(), 12);
}

TEST(Console, ClearWindowAndEol) {
  platform::Console c;
  c.Write("hello world");
  c.GotoXY(6, 1);
  c.SetTextAttr(0x17);
  c.ClrEol();
  EXPECT_EQ(c.RowText(1).substr(0, 11), "hello      ");
  EXPECT_EQ(c.At(80, 1).attr, 0x17);
  EXPECT_EQ(c.WhereX(), 6);
  c.ClrScr();
  EXPECT_EQ(c.RowText(1), std::string(80, ' '));
  EXPECT_EQ(c.WhereX(), 1);
}

TEST(Console, WriteCellsDoesNotMoveCursorAndDropsPastEdge) {
  platform::Console c;
  c.Write("x");
  c.WriteCells(78, 25, "abcdef", 0x1E);
  EXPECT_EQ(c.RowText(25).substr(77), "abc");
  EXPECT_EQ(c.At(78, 25).attr, 0x1E);
  EXPECT_EQ(c.WhereX(), 2);
  EXPECT_EQ(c.TextAttr(), 0x07);
}

TEST(Console, KeysQueue) {
  platform::Console c;
  EXPECT_FALSE(c.KeyPressed());
  c.PushKeys("a");
  c.PushExtendedKey(59);
  EXPECT_EQ(c.ReadKey(), 'a');
  EXPECT_EQ(c.ReadKey(), 0);
  EXPECT_EQ(c.ReadKey(), 59);
  EXPECT_FALSE(c.KeyPressed());
}

}  // namespace
