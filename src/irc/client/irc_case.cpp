// IRC's rfc1459 case folding.
#include "irc/client/irc_case.h"

#include <algorithm>

#include "irc/protocol/isupport.h"

namespace irc {

bool IrcLess(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return IrcFold(x) < IrcFold(y); });
}

bool IrcEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return IrcFold(x) == IrcFold(y); });
}

bool IrcStartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && IrcEqual(text.substr(0, prefix.size()), prefix);
}

}  // namespace irc
