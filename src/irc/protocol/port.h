// The number of a server's TCP port, typed with /SERVER or set for a host in the INI file. Port
// numbers are never wrapped into range: an integer outside 1-65535 (negative, 0, or any larger
// number, however many digits) names no port, and connecting to it fails.
#pragma once

#include <optional>
#include <string_view>

namespace irc {

// Stands for an integer that is no port.
inline constexpr int kNoPort = 0;

inline bool IsPort(int port) {
  return port >= 1 && port <= 65535;
}

// The port an integer text names: an optional sign and decimal digits, or with hex_allowed also
// "0x" and hexadecimal digits after the sign. kNoPort for an integer outside 1-65535; nullopt for
// a text that is no integer at all.
std::optional<int> PortNumber(std::string_view text, bool hex_allowed);

}  // namespace irc
