#include "door/command_line.h"

#include <charconv>

namespace door {

std::optional<int> ParseDecimal(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  int value = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

CommandLine ParseCommandLine(std::span<const std::string> args) {
  CommandLine line;
  for (const std::string& arg : args) {
    if (arg.size() < 2) continue;
    // The first character is the switch, whatever it is.
    char letter = arg[1];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    const std::string_view value = std::string_view(arg).substr(2);
    switch (letter) {
      case '?':
        line.usage_wanted = true;
        break;
      case 'D':
        line.drop_file_path = value;
        line.drop_file_named = true;
        line.local_mode = false;
        break;
      case 'H':
        line.socket_handle = ParseDecimal(value).value_or(-1);
        line.local_mode = false;
        break;
      case 'L':
        line.local_mode = true;
        break;
      case 'N':
        line.node = ParseDecimal(value).value_or(0);
        break;
      case 'I':
        line.caller_address = value;
        break;
      default:
        break;
    }
  }
  return line;
}

}  // namespace door
