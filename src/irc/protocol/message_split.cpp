// Long typed text cut into messages between characters, after a blank where there is one.
#include "irc/protocol/message_split.h"

#include <algorithm>

#include "text/utf8.h"

namespace irc {
namespace {

// ":" nick "!" user "@" host " ": user names of up to 10 bytes, host names of up to 63.
constexpr size_t kRelayPrefixBytesBesideNick = 1 + 1 + 10 + 1 + 63 + 1;
// Never less than this for the text, so that every piece holds at least one whole character.
constexpr size_t kMinimumRoom = 32;

}  // namespace

size_t MessageTextRoom(std::string_view head, std::string_view tail, std::string_view nick) {
  const size_t used = 2 + head.size() + tail.size() + nick.size() + kRelayPrefixBytesBesideNick;
  return used + kMinimumRoom > kIrcLineBytes ? kMinimumRoom : kIrcLineBytes - used;
}

std::vector<std::string_view> SplitMessageText(std::string_view text, size_t room) {
  room = std::max(room, size_t{4});
  std::vector<std::string_view> pieces;
  do {
    size_t cut = text::CutAtCharBoundary(text, room);
    if (cut < text.size()) {
      const size_t blank = text.substr(0, cut).rfind(' ');
      if (blank != std::string_view::npos && blank + 1 > cut / 2) cut = blank + 1;
    }
    if (cut == 0) cut = std::min(room, text.size());  // not UTF-8 at all: cut anywhere
    pieces.push_back(text.substr(0, cut));
    text.remove_prefix(cut);
  } while (!text.empty());
  return pieces;
}

}  // namespace irc
