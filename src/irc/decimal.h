// Reading the decimal integers that IRC lines carry (reply numbers, idle times, PING stamps).
#pragma once

#include <charconv>
#include <string_view>

namespace irc {

// An optional sign and decimal digits filling the whole text, within the range of int.
inline bool ParseDecimal(std::string_view text, int* value) {
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('-')) return false;
  }
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, *value, 10);
  return ec == std::errc() && ptr == end;
}

}  // namespace irc
