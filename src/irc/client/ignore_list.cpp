// The ignored senders' masks: parsing, bounds and matching a sender against them.
#include "irc/client/ignore_list.h"

#include <algorithm>

#include "irc/client/irc_case.h"

namespace irc {

bool WildcardMatch(std::string_view mask, std::string_view text) {
  size_t m = 0;
  size_t t = 0;
  size_t star = std::string_view::npos;  // the last star seen, and where text stood after it
  size_t star_text = 0;
  while (t < text.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      star_text = t;
    } else if (m < mask.size() && (mask[m] == '?' || IrcFold(mask[m]) == IrcFold(text[t]))) {
      ++m;
      ++t;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') ++m;
  return m == mask.size();
}

std::string IgnoreList::Normalized(std::string_view mask) {
  std::string kept(mask);
  if (kept.find('!') != std::string::npos) return kept;
  return kept.find('@') == std::string::npos ? kept + "!*@*" : "*!" + kept;  // user@host: any nickname
}

IgnoreList::Added IgnoreList::Add(std::string_view mask) {
  if (mask.empty() || mask.size() > kMaxMaskLength) return Added::kInvalid;
  const std::string kept = Normalized(mask);
  for (const std::string& existing : masks_) {
    if (IrcEqual(existing, kept)) return Added::kAlready;
  }
  if (masks_.size() >= kMaxMasks) return Added::kFull;
  masks_.push_back(kept);
  return Added::kAdded;
}

bool IgnoreList::Remove(std::string_view mask) {
  const std::string kept = Normalized(mask);
  const auto it =
      std::find_if(masks_.begin(), masks_.end(), [&](const std::string& m) { return IrcEqual(m, kept); });
  if (it == masks_.end()) return false;
  masks_.erase(it);
  return true;
}

bool IgnoreList::Ignores(std::string_view prefix) const {
  if (masks_.empty()) return false;
  if (prefix.starts_with(':')) prefix.remove_prefix(1);
  // A source without user@host (a server, or a bare nickname) is matched as nick!*@*'s text.
  std::string source(prefix);
  if (source.find('!') == std::string::npos) source += "!";
  if (source.find('@') == std::string::npos) source += "@";
  for (const std::string& mask : masks_) {
    if (WildcardMatch(mask, source)) return true;
  }
  return false;
}

}  // namespace irc
