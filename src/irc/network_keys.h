// The keys of a network section that are settings of the network, not servers. Every other key of
// a network section names a host, whatever its name.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "irc/ini_file.h"

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
    {"sasl", "log in with SASL PLAIN from the user name and password prompts (yes/no)"},
    {"webirc", "the WEBIRC password agreed with the network"},
    {"charset", "the character set of the network's text"},
    {"tlsverify", "verify TLS certificates (yes/no)"},
    {"tlsfingerprint", "the SHA-256 fingerprint of the one certificate trusted"},
};

// True when key is a network setting rather than a host.
bool IsNetworkSetting(std::string_view key);

// The servers of a network: the section's keys in file order without the network settings.
std::vector<std::string> NetworkHosts(const IniFile& ini, std::string_view network);

// A switch written as a word or a number: yes, true, on and 1 (any non-zero integer) are true; no,
// false, off and 0 are false, without regard to case; anything else, or no key, gives def.
bool ReadSwitch(const IniFile& ini, std::string_view section, std::string_view key, bool def);
// The same without a default: nullopt for no key or a value that is no switch.
std::optional<bool> ReadSwitchValue(const IniFile& ini, std::string_view section, std::string_view key);

}  // namespace irc
