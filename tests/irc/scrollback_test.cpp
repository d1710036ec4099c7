// Page Up and Page Down through the lines the caller was shown, with the keys terminals send.
#include "irc/client/scrollback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "typist.h"

namespace irc {
namespace {

const std::string kPageUp = "\x1B[5~";
const std::string kPageDown = "\x1B[6~";
constexpr std::string_view kMarker =
    "-- Older lines: Page Up and Page Down; End or typing returns to the newest --";

class ScrollbackTest : public testing::Test {
 protected:
  void ShowLines(int from, int to) {
    t_.client_.EraseInputLine();
    for (int i = from; i < to; ++i) t_.client_.ShowLine("line " + std::to_string(i));
    t_.client_.RedrawInputLine();
  }
  // Rows 1 to 24 of the console, and the same rows of the caller's screen.
  std::vector<std::string> Screen() {
    t_.Sent();
    std::vector<std::string> rows;
    for (int row = 1; row <= 24; ++row) {
      rows.push_back(Typist::Trimmed(t_.fixture_.console.RowText(row)));
      EXPECT_EQ(Typist::Trimmed(t_.caller_screen().RowText(row)), rows.back()) << row;
    }
    return rows;
  }
  // The page of numbered lines from `first`, then the marker.
  static std::vector<std::string> Page(int first) {
    std::vector<std::string> rows;
    for (int i = first; i < first + 23; ++i) rows.push_back("line " + std::to_string(i));
    rows.emplace_back(kMarker);
    return rows;
  }

  Typist t_;
};

TEST_F(ScrollbackTest, PagesBackAndForthAndReturns) {
  ShowLines(0, 100);
  t_.Type(kPageUp);  // the screenful before the 23 newest lines
  EXPECT_EQ(Screen(), Page(54));
  ShowLines(100, 103);  // new lines are kept, not shown
  EXPECT_EQ(t_.Sent(), "");
  t_.Type("\x1B[V");  // SyncTERM's Page Up
  EXPECT_EQ(Screen(), Page(31));
  t_.Type(kPageDown);
  EXPECT_EQ(Screen(), Page(54));
  t_.Type("\x1B[U");  // SyncTERM's Page Down
  EXPECT_EQ(Screen(), Page(77));
  t_.Type(kPageDown);  // the newest lines again, new ones included, and the input line
  std::vector<std::string> rows = Screen();
  EXPECT_EQ(rows[0], "line 80");
  EXPECT_EQ(rows[22], "line 102");
  EXPECT_EQ(rows[23], "[Status]");
  t_.Type(kPageDown);  // nothing newer: nothing sent
  EXPECT_EQ(t_.Sent(), "");
}

TEST_F(ScrollbackTest, TypingOrEndReturnsAtOnce) {
  ShowLines(0, 50);
  t_.Type("ab" + kPageUp + "c");
  EXPECT_EQ(t_.client_.input_line, "abc");
  EXPECT_EQ(Screen()[23], "[Status] abc");
  t_.Type("\x01" + kPageUp + "\x1B[F");  // Home, then back: End only returns
  EXPECT_EQ(Screen()[23], "[Status] abc");
  EXPECT_EQ(t_.fixture_.console.WhereX(), 10);
  t_.Type(kPageUp + "\x1B[D");  // a cursor key returns and moves
  EXPECT_EQ(Screen()[23], "[Status] abc");
  EXPECT_EQ(t_.fixture_.console.WhereX(), 10);
}

TEST_F(ScrollbackTest, KeepsTheLast500LinesAndWrapsLongOnes) {
  ShowLines(0, 600);
  int pages = 0;
  while (true) {
    t_.Sent();
    t_.Type(kPageUp);
    if (t_.Sent().empty()) break;
    ++pages;
  }
  EXPECT_EQ(pages, 21);  // 477 lines before the newest 23, in pages of 23
  EXPECT_EQ(Screen()[0], "line 100");
  // A line wider than the screen takes the rows it wraps into.
  Scrollback scrollback;
  scrollback.Add(false, "", std::string(79, 'x'));
  scrollback.Add(true, "", std::string(79, 'x'));
  scrollback.Add(false, "",
                 "\x03"
                 "04,12red\x02"
                 "bold\x7F"
                 "Ewide \xE4\xBD\xA0");
  EXPECT_EQ(Scrollback::Rows(scrollback.At(0)), 1);
  EXPECT_EQ(Scrollback::Rows(scrollback.At(1)), 2);
  EXPECT_EQ(Scrollback::Rows(scrollback.At(2)), 1);
  scrollback.Add(false, "2:02:11 pm", std::string(70, 'x'));  // a line from long ago, with its time
  EXPECT_EQ(Scrollback::Rows(scrollback.At(3)), 2);
  for (int i = 0; i < 30; ++i) scrollback.Add(false, "", std::string(200, 'y'));
  EXPECT_EQ(scrollback.PageStartBefore(scrollback.end()), scrollback.end() - 7);
}

}  // namespace
}  // namespace irc
