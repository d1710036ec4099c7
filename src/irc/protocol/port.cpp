// A server's TCP port number parsed, never wrapped into range.
#include "irc/protocol/port.h"

#include <cstdint>

#include "text/characters.h"

namespace irc {
namespace {

int DigitValue(char c, bool hex) {
  if (hex) return text::HexValue(c);
  return c >= '0' && c <= '9' ? c - '0' : -1;
}

}  // namespace

std::optional<int> PortNumber(std::string_view text, bool hex_allowed) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const bool hex = hex_allowed && text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex) text.remove_prefix(2);
  if (text.empty()) return std::nullopt;
  int64_t magnitude = 0;
  for (char c : text) {
    const int digit = DigitValue(c, hex);
    if (digit < 0) return std::nullopt;
    // Past the port range the exact value no longer matters, only that the text is an integer.
    if (magnitude <= 65535) magnitude = magnitude * (hex ? 16 : 10) + digit;
  }
  if (negative || magnitude < 1 || magnitude > 65535) return kNoPort;
  return static_cast<int>(magnitude);
}

}  // namespace irc
