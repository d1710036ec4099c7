// Lines held back while the screen belongs to someone else (the sysop chat): kept in order within
// a bound, the oldest given up first, and shown afterwards.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace irc {

class HeldLines {
 public:
  // One shown line: the door's shown text (its colour and marker), then IRC text.
  struct Line {
    std::string shown;
    std::string irc;
  };

  // At most this many bytes of lines are held; a single line longer than that is cut.
  static constexpr size_t kMaxBytes = 64 * 1024;

  void Hold(std::string_view shown, std::string_view irc);
  bool empty() const { return lines_.empty() && dropped_ == 0; }
  // The lines held, oldest first, and how many older ones had to be given up; both are cleared.
  std::deque<Line> Take();
  size_t TakeDropped();

 private:
  std::deque<Line> lines_;
  size_t bytes_ = 0;
  size_t dropped_ = 0;
};

}  // namespace irc
