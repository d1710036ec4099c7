// The keys of a network section that are settings of the network, not servers. Every other key of
// a network section names a host, whatever its name. (The keys of [general] are read by their
// table in config.cpp.)
#pragma once

#include <string_view>

namespace irc {

struct NetworkKey {
  std::string_view name;
  std::string_view meaning;  // one line for the INI reference and the reader of this table
};

// Matched without regard to case. A new per-network setting gets a row here, so that no INI file
// ever has it tried as a host.
inline constexpr NetworkKey kNetworkKeys[] = {
    {"channels", "channels joined after the welcome, as JOIN parameters"},
    {"pass", "the servers ask for a user name and password (yes/no)"},
    {"sasl", "log in with SASL from the user name and password prompts (yes/no)"},
    {"webirc", "the WEBIRC password agreed with the network"},
    {"charset", "the character set of the network's text"},
    {"tlsverify", "verify TLS certificates (yes/no)"},
    {"tlsfingerprint", "the SHA-256 fingerprint of the one certificate trusted"},
};

// True when key is a network setting rather than a host.
bool IsNetworkSetting(std::string_view key);

}  // namespace irc
