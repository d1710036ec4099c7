// Typed text longer than one IRC line takes goes out as several messages, cut between
// characters (preferably after a blank), so that no server cuts a character in two.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace irc {

// A protocol line's limit, CR LF included.
inline constexpr size_t kIrcLineBytes = 512;

// Bytes left for the text of "<head><text><tail>" sent by `nick`: the line's limit less CR LF,
// head and tail, and the prefix (":nick!user@host ") the server puts before the line when it
// passes it on, with the longest user name and host name it allows.
size_t MessageTextRoom(std::string_view head, std::string_view tail, std::string_view nick);

// The text cut into pieces of at most room bytes (at least one piece, even for empty text), each
// ending on a character boundary: after the last blank in the second half of the room if there
// is one, else after the last whole character.
std::vector<std::string_view> SplitMessageText(std::string_view text, size_t room);

}  // namespace irc
