// The local console: an in-memory 80x25 screen of {byte, attribute} cells with a cursor and a
// text window, plus the local keyboard's queue. It never touches the OS itself; a Terminal
// (terminal.h) draws it on the sysop's terminal and feeds it keys when there is one.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace platform {

struct Cell {
  uint8_t ch = ' ';
  uint8_t attr = 0x07;
  bool operator==(const Cell&) const = default;
};

class Console {
 public:
  static constexpr int kCols = 80;
  static constexpr int kRows = 25;

  Console();

  // Teletype output of one byte in the current attribute: CR, LF, BS and BEL are controls,
  // every other byte is drawn and the cursor wraps and scrolls inside the window.
  void WriteChar(uint8_t b);
  void Write(std::string_view text);

  // Cursor positions are 1-based and relative to the window; a position outside is ignored.
  void GotoXY(int col, int row);
  int WhereX() const { return cur_col_ - win_left_ + 1; }
  int WhereY() const { return cur_row_ - win_top_ + 1; }
  void ClrScr();
  void ClrEol();
  // Absolute screen coordinates, 1-based, inclusive; puts the cursor at the window's top left.
  void SetWindow(int left, int top, int right, int bottom);
  int WindowLeft() const { return win_left_; }
  int WindowTop() const { return win_top_; }
  int WindowRight() const { return win_right_; }
  int WindowBottom() const { return win_bottom_; }
  int WindowWidth() const { return win_right_ - win_left_ + 1; }
  int WindowHeight() const { return win_bottom_ - win_top_ + 1; }

  // Writes cells at an absolute position without moving the cursor; cells past column 80 are dropped.
  void WriteCells(int col, int row, std::string_view text, uint8_t attr);

  uint8_t TextAttr() const { return attr_; }
  void SetTextAttr(uint8_t attr) { attr_ = attr; }

  void Beep() { ++beeps_; }
  int Beeps() const { return beeps_; }

  // Local keyboard: ordinary keys as their byte, extended keys as 0 followed by the scan code.
  bool KeyPressed() const { return !keys_.empty(); }
  uint8_t ReadKey();  // 0 when the queue is empty
  void PushKeys(std::string_view bytes);
  void PushExtendedKey(uint8_t scan_code);

  // Screen contents, absolute 1-based coordinates.
  const Cell& At(int col, int row) const { return cells_[row_at_[row - 1] * kCols + (col - 1)]; }
  std::string RowText(int row) const;  // the row's 80 characters
  // Absolute cursor position, 1-based.
  int CursorCol() const { return cur_col_; }
  int CursorRow() const { return cur_row_; }

  // Rows changed since the last TakeDirtyRows (bit r-1 for row r).
  uint32_t TakeDirtyRows() {
    uint32_t d = dirty_;
    dirty_ = 0;
    return d;
  }
  bool Dirty() const { return dirty_ != 0 || cursor_moved_; }
  void ClearCursorMoved() { cursor_moved_ = false; }

 private:
  Cell& CellAt(int col, int row) { return cells_[row_at_[row - 1] * kCols + (col - 1)]; }
  Cell* RowCells(int row) { return &cells_[row_at_[row - 1] * kCols]; }
  // count blanks in the current attribute (count <= kCols).
  void FillBlank(Cell* cells, int count);
  void LineFeed();
  void ScrollWindowUp();
  void MarkRow(int row) { dirty_ |= 1u << (row - 1); }

  std::array<Cell, kCols * kRows> cells_{};
  // Which stored row holds each screen row: a window as wide as the screen scrolls by turning
  // this table, not by moving its cells.
  std::array<uint8_t, kRows> row_at_;
  std::array<Cell, kCols> blank_row_{};  // blanks in the attribute last cleared with
  int win_left_ = 1, win_top_ = 1, win_right_ = kCols, win_bottom_ = kRows;
  int cur_col_ = 1, cur_row_ = 1;  // absolute
  uint8_t attr_ = 0x07;
  int beeps_ = 0;
  std::deque<uint8_t> keys_;
  uint32_t dirty_ = (1u << kRows) - 1;
  bool cursor_moved_ = true;
};

}  // namespace platform
