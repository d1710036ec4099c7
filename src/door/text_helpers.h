// Text layout helpers of the door runtime, used by the IRC client too: padding to a width, joining
// pieces, replacing every occurrence.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace door {

std::string PadLeft(std::string_view text, char pad, int width);
std::string PadRight(std::string_view text, char pad, int width);
std::string AlignRight80(std::string_view text);
// The pieces joined with one allocation (chat lines are shown by the thousand).
std::string Concat(std::initializer_list<std::string_view> pieces);
std::string ReplaceAll(std::string_view text, std::string_view old_text, std::string_view new_text);

}  // namespace door
