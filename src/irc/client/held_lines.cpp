// Lines held back during the sysop chat, bounded, oldest given up first.
#include "irc/client/held_lines.h"

#include <utility>

#include "text/utf8.h"

namespace irc {

void HeldLines::Hold(std::string_view shown, std::string_view irc) {
  irc = irc.substr(0, text::CutAtCharBoundary(irc, kMaxBytes / 2));
  lines_.push_back(Line{std::string(shown), std::string(irc)});
  bytes_ += shown.size() + irc.size();
  while (bytes_ > kMaxBytes && lines_.size() > 1) {
    bytes_ -= lines_.front().shown.size() + lines_.front().irc.size();
    lines_.pop_front();
    ++dropped_;
  }
}

std::deque<HeldLines::Line> HeldLines::Take() {
  bytes_ = 0;
  return std::exchange(lines_, {});
}

size_t HeldLines::TakeDropped() {
  return std::exchange(dropped_, 0);
}

}  // namespace irc
