// Parsing a server line once into tags and word views.
#include "irc/protocol/server_message.h"

namespace irc {

void ServerMessage::Parse(std::string_view line) {
  tags_ = {};
  if (line.starts_with('@')) {
    const size_t blank = line.find(' ');
    const std::string_view tags = line.substr(1, blank == std::string_view::npos ? line.size() : blank - 1);
    // The limit counts the "@" and the blank after the tags.
    if (tags.size() + 2 <= kMaxTagBytes) tags_ = tags;
    line = blank == std::string_view::npos ? std::string_view() : line.substr(blank);
    while (line.starts_with(' ')) line.remove_prefix(1);
  }
  line_ = line;
  params_ready_ = false;
  words_.clear();
  const char* start = line.data();
  const char* const end = start + line.size();
  for (const char* p = start; p != end; ++p) {
    if (*p == ' ') {
      words_.emplace_back(start, static_cast<size_t>(p - start));
      start = p + 1;
    }
  }
  if (start != end) words_.emplace_back(start, static_cast<size_t>(end - start));
}

std::string_view ServerMessage::Joined(size_t from) const {
  if (from >= words_.size()) return {};
  const char* begin = words_[from].data();
  std::string_view rest(begin, static_cast<size_t>(line_.data() + line_.size() - begin));
  // A blank that ends the line ends the last word and gives no word of its own.
  if (rest.ends_with(' ')) rest.remove_suffix(1);
  return rest;
}

std::string_view ServerMessage::Trail(size_t from) const {
  std::string_view rest = Joined(from);
  if (rest.starts_with(':')) rest.remove_prefix(1);
  return rest;
}

std::string_view ServerMessage::Nick() const {
  std::string_view prefix = (*this)[0];
  prefix = prefix.substr(0, prefix.find('!'));
  if (prefix.starts_with(':')) prefix.remove_prefix(1);
  return prefix;
}

std::string_view ServerMessage::UserHost() const {
  const std::string_view prefix = (*this)[0];
  const size_t bang = prefix.find('!');
  return bang == std::string_view::npos ? prefix : prefix.substr(bang + 1);
}

void ServerMessage::DropColon(size_t i) {
  if (i < words_.size() && words_[i].starts_with(':')) words_[i].remove_prefix(1);
}

std::span<const std::string_view> ServerMessage::Params() const {
  if (params_ready_) return params_;
  params_ready_ = true;
  params_.clear();
  std::string_view rest = line_;
  auto next_word = [&rest]() {
    while (rest.starts_with(' ')) rest.remove_prefix(1);
    const size_t blank = rest.find(' ');
    const std::string_view word = rest.substr(0, blank);
    rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank);
    return word;
  };
  if (rest.starts_with(':')) next_word();  // the prefix
  next_word();                             // the command
  for (;;) {
    while (rest.starts_with(' ')) rest.remove_prefix(1);
    if (rest.empty()) break;
    if (rest.starts_with(':')) {
      params_.push_back(rest.substr(1));
      break;
    }
    params_.push_back(next_word());
  }
  return params_;
}

std::string_view ServerMessage::Param(size_t i) const {
  const std::span<const std::string_view> params = Params();
  return i < params.size() ? params[i] : std::string_view();
}

std::optional<std::string> ServerMessage::Tag(std::string_view key) const {
  std::string_view rest = tags_;
  for (size_t count = 0; !rest.empty() && count < kMaxTags; ++count) {
    const size_t semicolon = rest.find(';');
    const std::string_view tag = rest.substr(0, semicolon);
    rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
    const size_t equals = tag.find('=');
    if (tag.substr(0, equals) != key) continue;
    return equals == std::string_view::npos ? std::string() : UnescapeTagValue(tag.substr(equals + 1));
  }
  return std::nullopt;
}

std::string UnescapeTagValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      out.push_back(value[i]);
      continue;
    }
    if (++i == value.size()) break;
    switch (value[i]) {
      case ':':
        out.push_back(';');
        break;
      case 's':
        out.push_back(' ');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 'n':
        out.push_back('\n');
        break;
      default:
        out.push_back(value[i]);
        break;
    }
  }
  return out;
}

}  // namespace irc
