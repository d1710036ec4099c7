// The DOOR32.SYS drop file: one value per line, lines 1 to 11 read, CR LF, LF or CR line ends.
// Only the comm type (line 1), the handle (line 2, when the comm type is not 0) and the minutes
// left (line 9) must be numbers; any other line that is missing, or not a number where one is
// expected, leaves its field unset so that the door keeps its default.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "door/visit.h"

namespace door {

struct Door32Result {
  std::optional<Visit> visit;  // empty when the file is not usable
  std::string error;           // what was wrong, when visit is empty
};

// The visit the file describes; every line it leaves unset keeps its value from defaults.
Door32Result ParseDoor32(std::string_view contents, const Visit& defaults = {});

}  // namespace door
