// The ring of shown lines for Page Up and Page Down.
#include "irc/client/scrollback.h"

#include "text/caller_charset.h"
#include "text/utf8.h"

namespace irc {

void Scrollback::Add(bool status, std::string_view stamp, std::string_view text) {
  text = text.substr(0, text::CutAtCharBoundary(text, kMaxLineBytes));
  stamp = stamp.substr(0, 64);
  if (lines_.size() < kMaxLines) {
    lines_.push_back({status, std::string(stamp), std::string(text)});
  } else {
    Line& line = lines_[end_ % kMaxLines];  // its buffers are reused
    line.status = status;
    line.stamp.assign(stamp);
    line.text.assign(text);
  }
  ++end_;
}

uint64_t Scrollback::PageStartBefore(uint64_t end) const {
  uint64_t start = end;
  int rows = 0;
  while (start > first()) {
    rows += Rows(At(start - 1));
    if (rows > kTextRows && start != end) break;
    --start;
  }
  return start;
}

uint64_t Scrollback::PageEndFrom(uint64_t start) const {
  uint64_t end = start;
  int rows = 0;
  while (end < end_) {
    rows += Rows(At(end));
    if (rows > kTextRows && end != start) break;
    ++end;
  }
  return end;
}

int Scrollback::Rows(const Line& line) {
  // Columns as shown, counted high: colour codes and IRC formatting take none, other controls
  // are shown as two (caret form), characters from U+1100 on may be wide.
  int columns = (line.status ? 4 : 0) + (line.stamp.empty() ? 0 : static_cast<int>(line.stamp.size()) + 3);
  const std::string_view text = line.text;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == static_cast<unsigned char>(text::kCodeByte) && i + 1 < text.size()) {  // a colour code
      i += 2;
    } else if (c == 0x02 || c == 0x0F || c == 0x16 || c == 0x1D || c == 0x1E || c == 0x1F) {
      ++i;
    } else if (c == 0x03) {  // colour: up to two digits, then a comma and up to two more
      ++i;
      for (int n = 0; n < 2 && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++n) ++i;
      if (i + 1 < text.size() && text[i] == ',' && text[i + 1] >= '0' && text[i + 1] <= '9') {
        ++i;
        for (int n = 0; n < 2 && i < text.size() && text[i] >= '0' && text[i] <= '9'; ++n) ++i;
      }
    } else if (c < 0x20) {
      columns += 2;
      ++i;
    } else if (c < 0x80) {
      ++columns;
      ++i;
    } else {
      char32_t cp = 0;
      const size_t length = text::DecodeUtf8(text, i, cp);
      columns += length != 0 && cp >= 0x1100 ? 2 : 1;
      i += length == 0 ? 1 : length;
    }
  }
  // A line of exactly 80 columns wraps before its line end on many terminals: counted as two.
  return columns / kColumns + 1;
}

}  // namespace irc
