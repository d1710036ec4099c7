// Tab on the input line: the word before the cursor completed from the active channel's members,
// "nick: " at the start of the line and "nick " elsewhere. Tab again, with nothing typed between,
// puts the next match in its place, round and round.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace irc {

class NickCompletion {
 public:
  struct Replacement {
    size_t from;  // [from, cursor) of the line is replaced by text
    std::string text;
  };
  // What Tab does to line with its cursor there; nothing when no member matches.
  std::optional<Replacement> Next(std::string_view line, size_t cursor,
                                  const std::vector<std::string>& members, std::string_view own_nick);
  // The line as the replacement left it: a Tab on exactly this line goes on cycling.
  void Applied(std::string_view line, size_t cursor);

 private:
  std::string line_after_;
  size_t cursor_after_ = 0;
  size_t from_ = 0;
  std::vector<std::string> matches_;
  size_t index_ = 0;
};

}  // namespace irc
