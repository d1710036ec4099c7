// The last lines the caller was shown, for Page Up and Page Down: a ring of kMaxLines lines (each
// kept up to kMaxLineBytes), numbered from the first line of the visit on. While the caller looks
// at older lines, new ones are kept here and not shown; returning shows the newest screenful.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace irc {

class Scrollback {
 public:
  static constexpr size_t kMaxLines = 500;
  static constexpr size_t kMaxLineBytes = 1024;
  static constexpr int kTextRows = 23;  // the rows above the input line
  static constexpr int kColumns = 80;

  struct Line {
    bool status = false;  // a status line (shown with its marker) or a plain one
    std::string stamp;    // when the server sent it, for a line from long ago; mostly empty
    std::string text;     // IRC text with the client's colour codes
  };

  void Add(bool status, std::string_view stamp, std::string_view text);
  // Line number n (first() <= n < end()).
  const Line& At(uint64_t n) const { return lines_[n % kMaxLines]; }
  uint64_t first() const { return end_ - lines_.size(); }
  uint64_t end() const { return end_; }

  // The first line of the screenful that ends just before line `end`: as many lines before it as
  // fill kTextRows rows (one at least).
  uint64_t PageStartBefore(uint64_t end) const;
  // The end of the screenful that starts at line `start`.
  uint64_t PageEndFrom(uint64_t start) const;
  // The rows a line takes on an 80-column screen, at most: long lines wrap.
  static int Rows(const Line& line);

  // Looking at older lines: the shown page ends before line view_end().
  bool viewing() const { return viewing_; }
  uint64_t view_end() const { return view_end_; }
  void View(uint64_t end) {
    viewing_ = true;
    view_end_ = end;
  }
  void StopViewing() { viewing_ = false; }

 private:
  std::vector<Line> lines_;  // grows to kMaxLines, then line n is at n % kMaxLines
  uint64_t end_ = 0;
  bool viewing_ = false;
  uint64_t view_end_ = 0;
};

}  // namespace irc
