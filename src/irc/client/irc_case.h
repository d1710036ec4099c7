// IRC's case folding (rfc1459): ASCII letters, and []\~ as the capitals of {}|^.
#pragma once

#include <string_view>

#include "irc/protocol/isupport.h"

namespace irc {

inline char IrcFold(char c) {
  return FoldCase(c, CaseMapping::kRfc1459);
}

bool IrcLess(std::string_view a, std::string_view b);
bool IrcEqual(std::string_view a, std::string_view b);
bool IrcStartsWith(std::string_view text, std::string_view prefix);

}  // namespace irc
