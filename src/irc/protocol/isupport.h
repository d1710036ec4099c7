// What a server says about itself in its 005 (RPL_ISUPPORT) replies, where it changes what the door
// does: how nicknames and channel names compare (CASEMAPPING), which names are channels
// (CHANTYPES), the member prefixes (PREFIX), the longest nickname (NICKLEN), and whether only
// UTF-8 may be sent (UTF8ONLY). Until a server says otherwise the door keeps its own defaults.
#pragma once

#include <string>
#include <string_view>

#include "irc/protocol/server_message.h"

namespace irc {

enum class CaseMapping {
  kAscii,          // a-z and A-Z
  kRfc1459,        // also [ ] \ ~ as the upper case of { } | ^
  kStrictRfc1459,  // also [ ] \ as the upper case of { } |
};

// One character in lower case as the mapping folds it. Inline: every channel line's mention check
// folds its letters.
constexpr char FoldCase(char c, CaseMapping mapping) {
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
  if (mapping == CaseMapping::kAscii) return c;
  switch (c) {
    case '[':
      return '{';
    case ']':
      return '}';
    case '\\':
      return '|';
    case '~':
      return mapping == CaseMapping::kRfc1459 ? '^' : c;
    default:
      return c;
  }
}

struct ServerSupport {
  // Characters kept of CHANTYPES and of each half of PREFIX: real ones have a handful.
  static constexpr size_t kMaxListLength = 32;

  CaseMapping casemapping = CaseMapping::kAscii;
  std::string chantypes = "#&";
  std::string prefix_modes = "ov";    // channel modes that give a prefix, highest first
  std::string prefix_symbols = "@+";  // their prefixes, in the same order
  int nicklen = 0;                    // the server's longest nickname; 0 until it says
  bool utf8only = false;

  // Takes the tokens of one 005 reply (between the nickname and the closing text). A token with a
  // "-" in front returns to the default.
  void Read(const ServerMessage& message);

  // The two names are the same under the server's case mapping.
  bool SameName(std::string_view a, std::string_view b) const;
  // The name starts with one of the channel types.
  bool IsChannel(std::string_view name) const;
  // The name less the member prefixes in front of it ("@+nick" gives "nick").
  std::string_view WithoutPrefixes(std::string_view name) const;
};

}  // namespace irc
