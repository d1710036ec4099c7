#include "platform/console.h"

#include <algorithm>
#include <cstddef>

namespace platform {

namespace {

// Bytes that the teletype treats as controls: BEL, BS, LF and CR.
constexpr uint32_t kControlMask = (1u << 7) | (1u << 8) | (1u << 10) | (1u << 13);

bool IsControl(uint8_t b) {
  return b < 14 && ((kControlMask >> b) & 1u) != 0;
}

}  // namespace

Console::Console() {
  for (int row = 0; row < kRows; ++row) row_at_[row] = static_cast<uint8_t>(row);
}

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

// Runs of ordinary bytes are drawn a row at a time; controls go through WriteChar.
void Console::Write(std::string_view text) {
  const auto* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* const end = p + text.size();
  while (p < end) {
    if (IsControl(*p)) {
      WriteChar(*p++);
      continue;
    }
    Cell* cell = RowCells(cur_row_) + (cur_col_ - 1);
    const uint8_t attr = attr_;
    const uint8_t* const start = p;
    const uint8_t* const stop = p + std::min<std::ptrdiff_t>(win_right_ - cur_col_ + 1, end - p);
    while (p < stop && !IsControl(*p)) *cell++ = Cell{*p++, attr};
    const int col = cur_col_ + static_cast<int>(p - start);
    MarkRow(cur_row_);
    cursor_moved_ = true;
    if (col > win_right_) {
      cur_col_ = win_left_;
      LineFeed();
    } else {
      cur_col_ = col;
    }
  }
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
  if (width == kCols) {
    std::rotate(row_at_.begin() + (win_top_ - 1), row_at_.begin() + win_top_, row_at_.begin() + win_bottom_);
    dirty_ |= ((1u << win_bottom_) - 1) & ~((1u << (win_top_ - 1)) - 1);
  } else {
    for (int row = win_top_; row < win_bottom_; ++row) {
      std::copy_n(&CellAt(win_left_, row + 1), width, &CellAt(win_left_, row));
      MarkRow(row);
    }
  }
  FillBlank(&CellAt(win_left_, win_bottom_), width);
  MarkRow(win_bottom_);
}

void Console::FillBlank(Cell* cells, int count) {
  if (blank_row_[0].attr != attr_) blank_row_.fill(Cell{' ', attr_});
  std::copy_n(blank_row_.data(), count, cells);
}

void Console::GotoXY(int col, int row) {
  if (col < 1 || row < 1 || col > WindowWidth() || row > WindowHeight()) return;
  cur_col_ = win_left_ + col - 1;
  cur_row_ = win_top_ + row - 1;
  cursor_moved_ = true;
}

void Console::ClrScr() {
  for (int row = win_top_; row <= win_bottom_; ++row) {
    FillBlank(&CellAt(win_left_, row), WindowWidth());
    MarkRow(row);
  }
  cur_col_ = win_left_;
  cur_row_ = win_top_;
  cursor_moved_ = true;
}

void Console::ClrEol() {
  FillBlank(&CellAt(cur_col_, cur_row_), win_right_ - cur_col_ + 1);
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
