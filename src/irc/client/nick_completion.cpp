// Tab completion of nicknames from the active channel's members.
#include "irc/client/nick_completion.h"

#include "irc/client/irc_case.h"

namespace irc {

std::optional<NickCompletion::Replacement> NickCompletion::Next(std::string_view line, size_t cursor,
                                                                const std::vector<std::string>& members,
                                                                std::string_view own_nick) {
  if (!matches_.empty() && line == line_after_ && cursor == cursor_after_) {
    index_ = (index_ + 1) % matches_.size();
  } else {
    matches_.clear();
    index_ = 0;
    from_ = line.substr(0, cursor).find_last_of(' ');
    from_ = from_ == std::string_view::npos ? 0 : from_ + 1;
    const std::string_view word = line.substr(from_, cursor - from_);
    if (word.empty()) return std::nullopt;
    for (const std::string& nick : members) {
      if (IrcStartsWith(nick, word) && !IrcEqual(nick, own_nick)) matches_.push_back(nick);
    }
    if (matches_.empty()) return std::nullopt;
  }
  return Replacement{from_, matches_[index_] + (from_ == 0 ? ": " : " ")};
}

void NickCompletion::Applied(std::string_view line, size_t cursor) {
  line_after_.assign(line);
  cursor_after_ = cursor;
}

}  // namespace irc
