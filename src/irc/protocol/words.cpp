// IRC lines cut into words at single blanks, joined back, and prefix helpers.
#include "irc/protocol/words.h"

namespace irc {

// The strings of the previous line are overwritten in place, so a stream of similar lines is
// split without allocating.
void SplitWords(std::string_view line, Words& words) {
  size_t count = 0;
  auto put = [&](const char* begin, const char* end) {
    if (count < words.size()) {
      words[count].assign(begin, end);
    } else {
      words.emplace_back(begin, end);
    }
    ++count;
  };
  const char* start = line.data();
  const char* const end = start + line.size();
  for (const char* p = start; p != end; ++p) {
    if (*p == ' ') {
      put(start, p);
      start = p + 1;
    }
  }
  if (start != end) put(start, end);
  words.resize(count);
}

std::string JoinWords(const Words& words, size_t from) {
  std::string out;
  if (from >= words.size()) return out;
  size_t length = words.size() - from - 1;
  for (size_t i = from; i < words.size(); ++i) length += words[i].size();
  out.reserve(length);
  for (size_t i = from; i < words.size(); ++i) {
    if (i > from) out.push_back(' ');
    out.append(words[i]);
  }
  return out;
}

std::string TrailingText(const Words& words, size_t from) {
  std::string out;
  if (from >= words.size()) return out;
  const bool colon = !words[from].empty() && words[from].front() == ':';
  size_t length = words.size() - from - 1 - (colon ? 1 : 0);
  for (size_t i = from; i < words.size(); ++i) length += words[i].size();
  out.reserve(length);
  out.append(std::string_view(words[from]).substr(colon ? 1 : 0));
  for (size_t i = from + 1; i < words.size(); ++i) {
    out.push_back(' ');
    out.append(words[i]);
  }
  return out;
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

const std::string& WordAt(const Words& words, size_t i) {
  static const std::string kEmpty;
  return i < words.size() ? words[i] : kEmpty;
}

}  // namespace irc
