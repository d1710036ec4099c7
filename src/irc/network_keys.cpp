#include "irc/network_keys.h"

#include <algorithm>

#include "irc/words.h"

namespace irc {

bool IsNetworkSetting(std::string_view key) {
  return std::any_of(std::begin(kNetworkKeys), std::end(kNetworkKeys),
                     [key](const NetworkKey& row) { return EqualsIgnoreCase(row.name, key); });
}

std::vector<std::string> NetworkHosts(const IniFile& ini, std::string_view network) {
  std::vector<std::string> hosts = ini.ReadSectionKeys(network);
  std::erase_if(hosts, [](const std::string& key) { return IsNetworkSetting(key); });
  return hosts;
}

std::optional<bool> ReadSwitchValue(const IniFile& ini, std::string_view section, std::string_view key) {
  // A value no switch word can be: it tells a missing key from a present one.
  constexpr std::string_view kMissing = "\x01";
  const std::string value = ini.ReadString(section, key, kMissing);
  if (value == kMissing) return std::nullopt;
  return ParseIniSwitch(value);
}

bool ReadSwitch(const IniFile& ini, std::string_view section, std::string_view key, bool def) {
  return ReadSwitchValue(ini, section, key).value_or(def);
}

}  // namespace irc
