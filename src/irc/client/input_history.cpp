// The lines sent in this visit, browsed with Up and Down.
#include "irc/client/input_history.h"

#include <utility>

namespace irc {

void InputHistory::Add(std::string_view line) {
  lines_.emplace_back(line);
  if (lines_.size() > kMaxLines) lines_.pop_front();
  browsing_ = false;
  typed_.clear();
}

std::optional<std::string> InputHistory::Older(std::string_view typed) {
  if (!browsing_) {
    if (lines_.empty()) return std::nullopt;
    browsing_ = true;
    typed_.assign(typed);
    shown_ = lines_.size();
  }
  if (shown_ == 0) return std::nullopt;
  return lines_[--shown_];
}

std::optional<std::string> InputHistory::Newer() {
  if (!browsing_) return std::nullopt;
  if (++shown_ < lines_.size()) return lines_[shown_];
  browsing_ = false;
  return std::move(typed_);
}

}  // namespace irc
