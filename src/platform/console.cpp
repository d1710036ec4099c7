#include "platform/console.h"

#include <algorithm>

namespace platform {

Console::Console() = default;

void Console::WriteChar(uint8_t b) {
  cursor_moved_ = true;
  switch (b) {
    case 13:
      cur_col_ = win_left_;
      return;
    case 10:
      LineFeed();
      return;
    case 8:
      if (cur_col_ > win_left_) --cur_col_;
      return;
    case 7:
      Beep();
      return;
    default:
      break;
  }
  CellAt(cur_col_, cur_row_) = Cell{b, attr_};
  MarkRow(cur_row_);
  if (cur_col_ < win_right_) {
    ++cur_col_;
  } else {
    cur_col_ = win_left_;
    LineFeed();
  }
}

void Console::Write(std::string_view text) {
  for (char c : text) WriteChar(static_cast<uint8_t>(c));
}

void Console::LineFeed() {
  if (cur_row_ < win_bottom_) {
    ++cur_row_;
  } else {
    ScrollWindowUp();
  }
}

void Console::ScrollWindowUp() {
  const int width = WindowWidth();
  for (int row = win_top_; row < win_bottom_; ++row) {
    std::copy_n(&CellAt(win_left_, row + 1), width, &CellAt(win_left_, row));
    MarkRow(row);
  }
  std::fill_n(&CellAt(win_left_, win_bottom_), width, Cell{' ', attr_});
  MarkRow(win_bottom_);
}

void Console::GotoXY(int col, int row) {
  if (col < 1 || row < 1 || col > WindowWidth() || row > WindowHeight()) return;
  cur_col_ = win_left_ + col - 1;
  cur_row_ = win_top_ + row - 1;
  cursor_moved_ = true;
}

void Console::ClrScr() {
  for (int row = win_top_; row <= win_bottom_; ++row) {
    std::fill_n(&CellAt(win_left_, row), WindowWidth(), Cell{' ', attr_});
    MarkRow(row);
  }
  cur_col_ = win_left_;
  cur_row_ = win_top_;
  cursor_moved_ = true;
}

void Console::ClrEol() {
  std::fill_n(&CellAt(cur_col_, cur_row_), win_right_ - cur_col_ + 1, Cell{' ', attr_});
  MarkRow(cur_row_);
}

void Console::SetWindow(int left, int top, int right, int bottom) {
  left = std::clamp(left, 1, kCols);
  right = std::clamp(right, left, kCols);
  top = std::clamp(top, 1, kRows);
  bottom = std::clamp(bottom, top, kRows);
  win_left_ = left;
  win_top_ = top;
  win_right_ = right;
  win_bottom_ = bottom;
  cur_col_ = left;
  cur_row_ = top;
  cursor_moved_ = true;
}

void Console::WriteCells(int col, int row, std::string_view text, uint8_t attr) {
  if (row < 1 || row > kRows || col < 1) return;
  for (size_t i = 0; i < text.size() && col + static_cast<int>(i) <= kCols; ++i) {
    CellAt(col + static_cast<int>(i), row) = Cell{static_cast<uint8_t>(text[i]), attr};
  }
  MarkRow(row);
}

uint8_t Console::ReadKey() {
  if (keys_.empty()) return 0;
  uint8_t k = keys_.front();
  keys_.pop_front();
  return k;
}

void Console::PushKeys(std::string_view bytes) {
  for (char c : bytes) keys_.push_back(static_cast<uint8_t>(c));
}

void Console::PushExtendedKey(uint8_t scan_code) {
  keys_.push_back(0);
  keys_.push_back(scan_code);
}

std::string Console::RowText(int row) const {
  std::string s(kCols, ' ');
  for (int col = 1; col <= kCols; ++col) s[col - 1] = static_cast<char>(At(col, row).ch);
  return s;
}

}  // namespace platform
