// The table of a network section's setting keys.
#include "irc/session/network_keys.h"

#include <algorithm>

#include "irc/protocol/words.h"
#include "text/ascii.h"

namespace irc {

bool IsNetworkSetting(std::string_view key) {
  return std::any_of(std::begin(kNetworkKeys), std::end(kNetworkKeys),
                     [key](const NetworkKey& row) { return text::EqualsIgnoreCase(row.name, key); });
}

}  // namespace irc
