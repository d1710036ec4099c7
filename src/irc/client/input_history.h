// The lines the caller sent in this visit, for Up and Down: the newest last, at most kMaxLines.
// Browsing keeps the line that was being typed and gives it back past the newest line.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace irc {

class InputHistory {
 public:
  static constexpr size_t kMaxLines = 50;

  // A sent line: the newest, the oldest falls out past the limit. Browsing ends.
  void Add(std::string_view line);
  // The line before the one shown (the newest one when not browsing, which keeps `typed`);
  // nothing at the oldest.
  std::optional<std::string> Older(std::string_view typed);
  // The line after the one shown, the kept typed line past the newest; nothing when not browsing.
  std::optional<std::string> Newer();
  size_t size() const { return lines_.size(); }

 private:
  std::deque<std::string> lines_;
  size_t shown_ = 0;  // index of the line shown while browsing
  bool browsing_ = false;
  std::string typed_;
};

}  // namespace irc
