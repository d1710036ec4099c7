// TLS for a server: the port written with a leading "+", the network's certificate settings
// ("tlsverify", "tlsfingerprint"), and the status texts for a refused certificate.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "irc/session/ini_file.h"
#include "platform/tls.h"

namespace irc {

inline constexpr int kDefaultPort = 6667;

struct ServerPort {
  ServerPort(int number = kDefaultPort, bool with_tls = false) : port(number), tls(with_tls) {}
  int port;
  bool tls;
};

// A port as a network section or /SERVER writes it: an integer (decimal or 0x hexadecimal), with
// a leading "+" for TLS ("+6697"). An integer outside 1-65535 gives kNoPort (never wrapped);
// anything else gives the default port, plain.
ServerPort ParseServerPort(std::string_view text);

// A SHA-256 fingerprint written as 64 hexadecimal digits, in pairs joined by colons or not, in
// either case; blanks around it are allowed. The 32 bytes, or nullopt when it is not one.
std::optional<std::string> ParseFingerprint(std::string_view text);

// How a network's servers are checked. A "tlsfingerprint" that is not a fingerprint refuses every
// TLS connection of the network rather than falling back to weaker checks.
struct TlsPolicy {
  bool verify = true;
  std::string pin;  // 32 bytes or empty
  bool pin_malformed = false;
};

// The settings of a network section (null: the default policy, verify and no pin).
TlsPolicy TlsPolicyOf(const IniSection* section);

// The status line shown under "Unable to connect" for a refused handshake.
std::string_view TlsFailureText(platform::TlsFailure failure);

}  // namespace irc
