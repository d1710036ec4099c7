// Taking IRC lines apart: words cut at single blanks, joined back, and prefix helpers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace irc {

using Words = std::vector<std::string>;

void SplitWords(std::string_view line, Words& words);
std::string JoinWords(const Words& words, size_t from);
std::string TrailingText(const Words& words, size_t from);
std::string StripColon(std::string_view s);
std::string PrefixNick(std::string_view prefix);
std::string PrefixUserHost(std::string_view prefix);
// The word at index i, or "" when the list is shorter.
const std::string& WordAt(const Words& words, size_t i);

}  // namespace irc
