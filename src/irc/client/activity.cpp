// Counting lines for targets other than the active one, and spotting the caller's nickname in them.
#include "irc/client/activity.h"

#include <algorithm>
#include <array>

#include "irc/client/irc_case.h"
#include "text/irc_text.h"

namespace irc {
namespace {

constexpr std::array<bool, 256> kNickChars = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  for (const char c : std::string_view("[]\\`_^{|}-")) table[static_cast<uint8_t>(c)] = true;
  return table;
}();

bool IsNickChar(char c) {
  return kNickChars[static_cast<uint8_t>(c)];
}

}  // namespace

void Activity::Add(std::string_view name) {
  for (Entry& entry : entries_) {
    if (IrcEqual(entry.name, name)) {
      entry.count = std::min(entry.count + 1, kMaxCount);
      return;
    }
  }
  if (entries_.size() >= kMaxEntries) entries_.erase(entries_.begin());
  entries_.push_back({std::string(name.substr(0, 64)), 1});
}

bool Activity::Seen(std::string_view name) {
  const auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& entry) { return IrcEqual(entry.name, name); });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

void Activity::Clear() {
  entries_.clear();
}

std::string Activity::PromptText(int max_columns) const {
  std::string text;
  for (const Entry& entry : entries_) {
    // A name from the server: shown with its control bytes in caret form.
    std::string item = " +" + text::IrcName(entry.name) + ":" + std::to_string(entry.count);
    if (static_cast<int>(text.size() + item.size()) > max_columns) break;
    text += item;
  }
  return text;
}

bool Activity::BellDue(int64_t now_ms) {
  if (rung_ && now_ms - last_bell_ms_ < kBellIntervalMs) return false;
  rung_ = true;
  last_bell_ms_ = now_ms;
  return true;
}

bool MentionsNick(std::string_view text, std::string_view nick) {
  if (nick.empty() || text.size() < nick.size()) return false;
  // Every line of a channel passes here: the places where the nickname's first letter stands, in
  // either case, are found with the library's search.
  const char lower = IrcFold(nick[0]);
  char upper = lower;
  for (const char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZ[]\\~")) {
    if (IrcFold(c) == lower) upper = c;
  }
  const size_t last_start = text.size() - nick.size();
  size_t next_lower = text.find(lower);
  size_t next_upper = upper == lower ? std::string_view::npos : text.find(upper);
  for (;;) {
    const size_t at = std::min(next_lower, next_upper);
    if (at == std::string_view::npos || at > last_start) return false;
    const size_t end = at + nick.size();
    if ((at == 0 || !IsNickChar(text[at - 1])) && IrcEqual(text.substr(at, nick.size()), nick) &&
        (end == text.size() || !IsNickChar(text[end]))) {
      return true;
    }
    // A mention starts a word: the rest of this run of nickname characters holds none, so a line
    // of one letter repeated costs one pass.
    size_t next = at + 1;
    while (IsNickChar(text[at]) && next < text.size() && IsNickChar(text[next])) ++next;
    if (next_lower < next) next_lower = text.find(lower, next);
    if (next_upper < next) next_upper = text.find(upper, next);
  }
}

}  // namespace irc
