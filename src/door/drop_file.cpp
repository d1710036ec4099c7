#include "door/drop_file.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "door/command_line.h"

namespace door {
namespace {

constexpr int kLinesRead = 11;

// Splits off up to kLinesRead lines; a missing line stays unset.
std::array<std::optional<std::string_view>, kLinesRead> SplitLines(std::string_view contents) {
  std::array<std::optional<std::string_view>, kLinesRead> lines;
  size_t pos = 0;
  for (int i = 0; i < kLinesRead && pos < contents.size(); ++i) {
    const size_t end = contents.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines[i] = contents.substr(pos);
      break;
    }
    lines[i] = contents.substr(pos, end - pos);
    pos = end + 1;
    if (contents[end] == '\r' && pos < contents.size() && contents[pos] == '\n') ++pos;
  }
  return lines;
}

std::string_view TrimBlanks(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::optional<int> Number(const std::optional<std::string_view>& line) {
  if (!line) return std::nullopt;
  return ParseDecimal(TrimBlanks(*line));
}

std::optional<std::string> Text(const std::optional<std::string_view>& line) {
  if (!line) return std::nullopt;
  return std::string(*line);
}

Door32Result Invalid(std::string error) {
  return Door32Result{std::nullopt, std::move(error)};
}

}  // namespace

Door32Result ParseDoor32(std::string_view contents) {
  const auto lines = SplitLines(contents);
  Door32Sys sys;

  const std::optional<int> comm_type = Number(lines[0]);
  if (!comm_type || *comm_type < 0 || *comm_type > 255)
    return Invalid("line 1 (comm type) is not a number from 0 to 255");
  sys.comm_type = *comm_type;
  sys.caller_socket = Number(lines[1]);
  if (sys.comm_type != 0 && !sys.caller_socket) return Invalid("line 2 (socket handle) is not a number");

  const std::optional<int> minutes = Number(lines[8]);
  if (!minutes) return Invalid("line 9 (minutes left) is not a number");
  sys.time_left = static_cast<int>(std::clamp<int64_t>(int64_t{*minutes} * 60, INT32_MIN, INT32_MAX));

  sys.baud = Number(lines[2]);
  sys.bbs_name = Text(lines[3]);
  sys.user_record = Number(lines[4]);
  sys.user_real_name = Text(lines[5]);
  sys.user_handle = Text(lines[6]);
  sys.security_level = Number(lines[7]);
  sys.emulation = Number(lines[9]);
  sys.node = Number(lines[10]);
  return Door32Result{sys, {}};
}

}  // namespace door
