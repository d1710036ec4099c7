// The DOOR32.SYS drop file: one value per line, lines 1 to 11 read, CR LF, LF or CR line ends.
// Only the comm type (line 1), the handle (line 2, when the comm type is not 0) and the minutes
// left (line 9) must be numbers; any other line that is missing, or not a number where one is
// expected, leaves its field unset so that the door keeps its default.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace door {

struct Door32Sys {
  int comm_type = 0;
  std::optional<int> caller_socket;  // set whenever the comm type is not 0
  std::optional<int> baud;
  std::optional<std::string> bbs_name;
  std::optional<int> user_record;
  std::optional<std::string> user_real_name;
  std::optional<std::string> user_handle;
  std::optional<int> security_level;
  int time_left = 0;  // seconds
  std::optional<int> emulation;
  std::optional<int> node;
};

struct Door32Result {
  std::optional<Door32Sys> sys;  // empty when the file is not usable
  std::string error;             // what was wrong, when sys is empty
};

Door32Result ParseDoor32(std::string_view contents);

}  // namespace door
