#include "irc/words.h"

namespace irc {

void SplitWords(std::string_view line, Words& words) {
  words.clear();
  size_t start = 0;
  for (size_t blank = line.find(' '); blank != std::string_view::npos; blank = line.find(' ', start)) {
    words.emplace_back(line.substr(start, blank - start));
    start = blank + 1;
  }
  if (start < line.size()) words.emplace_back(line.substr(start));
}

std::string JoinWords(const Words& words, size_t from) {
  std::string out;
  for (size_t i = from; i < words.size(); ++i) {
    if (i > from) out.push_back(' ');
    out.append(words[i]);
  }
  return out;
}

std::string TrailingText(const Words& words, size_t from) {
  return StripColon(JoinWords(words, from));
}

std::string StripColon(std::string_view s) {
  if (!s.empty() && s.front() == ':') s.remove_prefix(1);
  return std::string(s);
}

std::string PrefixNick(std::string_view prefix) {
  return StripColon(prefix.substr(0, prefix.find('!')));
}

std::string PrefixUserHost(std::string_view prefix) {
  size_t bang = prefix.find('!');
  return std::string(bang == std::string_view::npos ? prefix : prefix.substr(bang + 1));
}

std::string UpperAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

const std::string& WordAt(const Words& words, size_t i) {
  static const std::string kEmpty;
  return i < words.size() ? words[i] : kEmpty;
}

}  // namespace irc
