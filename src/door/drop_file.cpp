#include "door/drop_file.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "text/ascii.h"

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

std::optional<int> Number(const std::optional<std::string_view>& line) {
  if (!line) return std::nullopt;
  return text::ParseDecimal(text::TrimBlanks(*line));
}

std::optional<std::string> Text(const std::optional<std::string_view>& line) {
  if (!line) return std::nullopt;
  return std::string(*line);
}

Door32Result Invalid(std::string error) {
  return Door32Result{std::nullopt, std::move(error)};
}

}  // namespace

Door32Result ParseDoor32(std::string_view contents, const Visit& defaults) {
  const auto lines = SplitLines(contents);
  Visit visit = defaults;

  const std::optional<int> comm_type = Number(lines[0]);
  if (!comm_type || *comm_type < 0 || *comm_type > 255)
    return Invalid("line 1 (comm type) is not a number from 0 to 255");
  visit.comm_type = static_cast<CommType>(*comm_type);
  const std::optional<int> caller_socket = Number(lines[1]);
  if (visit.HasCaller() && !caller_socket) return Invalid("line 2 (socket handle) is not a number");
  visit.caller_socket = caller_socket.value_or(visit.caller_socket);

  const std::optional<int> minutes = Number(lines[8]);
  if (!minutes) return Invalid("line 9 (minutes left) is not a number");
  visit.time_left = static_cast<int>(std::clamp<int64_t>(int64_t{*minutes} * 60, INT32_MIN, INT32_MAX));

  visit.baud = Number(lines[2]).value_or(visit.baud);
  visit.bbs_name = Text(lines[3]).value_or(visit.bbs_name);
  visit.user_record = Number(lines[4]).value_or(visit.user_record);
  // The names as -A gives them: no control byte of the user record goes any further.
  visit.user_real_name = text::WithoutControls(Text(lines[5]).value_or(visit.user_real_name));
  visit.user_handle = text::WithoutControls(Text(lines[6]).value_or(visit.user_handle));
  visit.security_level = Number(lines[7]).value_or(visit.security_level);
  visit.emulation = Number(lines[9]).value_or(visit.emulation);
  visit.node = Number(lines[10]).value_or(visit.node);
  return Door32Result{std::move(visit), {}};
}

}  // namespace door
