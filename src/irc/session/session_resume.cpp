// Channel keys and the away message noted for a reconnect, and the JOIN lines that restore them.
#include "irc/session/session_resume.h"

#include "irc/protocol/words.h"
#include "text/ascii.h"

namespace irc {
namespace {

// The next comma-separated item of a list, taken off its front.
std::string_view TakeItem(std::string_view& list) {
  const size_t comma = list.find(',');
  const std::string_view item = list.substr(0, comma);
  list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
  return item;
}

// The next blank-separated word of a line, taken off its front.
std::string_view TakeWord(std::string_view& line) {
  while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  const size_t blank = line.find(' ');
  const std::string_view word = line.substr(0, blank);
  line.remove_prefix(blank == std::string_view::npos ? line.size() : blank);
  return word;
}

}  // namespace

void ResumeNotes::NoteSent(std::string_view line) {
  std::string_view rest = line;
  const std::string verb = text::UpperAscii(TakeWord(rest));
  if (verb == "AWAY") {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == ':') rest.remove_prefix(1);
    away_ = rest;
    return;
  }
  if (verb != "JOIN") return;
  std::string_view channels = TakeWord(rest);
  std::string_view keys = TakeWord(rest);
  while (!channels.empty() && !keys.empty()) {
    const std::string_view channel = TakeItem(channels);
    const std::string_view key = TakeItem(keys);
    if (channel.empty() || key.empty()) continue;
    bool known = false;
    for (auto& [name, kept] : keys_) {
      if (text::EqualsIgnoreCase(name, channel)) {
        kept = key;
        known = true;
        break;
      }
    }
    if (!known && keys_.size() < kMaxKeys) keys_.emplace_back(channel, key);
  }
}

void ResumeNotes::Clear() {
  keys_.clear();
  away_.clear();
}

std::string_view ResumeNotes::KeyOf(std::string_view channel) const {
  for (const auto& [name, key] : keys_) {
    if (text::EqualsIgnoreCase(name, channel)) return key;
  }
  return {};
}

std::vector<std::string> ResumeNotes::JoinLines(std::span<const std::string> channels) const {
  std::vector<std::string> lines;
  std::string names;
  std::string keys;
  auto flush = [&] {
    if (names.empty()) return;
    lines.push_back("JOIN " + names + (keys.empty() ? "" : " " + keys));
    names.clear();
    keys.clear();
  };
  auto add = [&](const std::string& channel, std::string_view key) {
    const size_t grows = channel.size() + key.size() + 2;
    if (!names.empty() && 5 + names.size() + keys.size() + grows > kMaxJoinLine) flush();
    if (!names.empty()) names += ',';
    names += channel;
    if (!key.empty()) {
      if (!keys.empty()) keys += ',';
      keys += key;
    }
  };
  for (const std::string& channel : channels) {
    const std::string_view key = KeyOf(channel);
    if (!key.empty()) add(channel, key);
  }
  for (const std::string& channel : channels) {
    if (KeyOf(channel).empty()) add(channel, {});
  }
  flush();
  return lines;
}

}  // namespace irc
