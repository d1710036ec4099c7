// IRC's case folding (rfc1459): ASCII letters, and []\~ as the capitals of {}|^.
#pragma once

#include <string_view>

namespace irc {

char IrcFold(char c);
bool IrcLess(std::string_view a, std::string_view b);
bool IrcEqual(std::string_view a, std::string_view b);
bool IrcStartsWith(std::string_view text, std::string_view prefix);

}  // namespace irc
