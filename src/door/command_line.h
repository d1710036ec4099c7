// The door's command line: options -D, -H, -L, -N and -?, any leading switch character, values
// attached without a space.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace door {

struct CommandLine {
  std::string drop_file_path;
  int socket_handle = -1;
  bool usage_wanted = false;
  bool local_mode = true;        // the last of -D, -H and -L decides
  bool drop_file_named = false;  // some -D was given, whatever followed it
  int node = 0;
  std::string caller_address;  // -I: the caller's IP address, for WEBIRC
};

CommandLine ParseCommandLine(std::span<const std::string> args);

// A whole text that is a decimal integer (optional sign, digits only, within int range).
std::optional<int> ParseDecimal(std::string_view text);

}  // namespace door
