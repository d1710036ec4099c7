// What a reconnect restores besides the conversation targets: the keys the caller gave for
// channels and the away message, noted from the lines the client sends, and the JOIN lines that
// take the caller back into their channels.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace irc {

class ResumeNotes {
 public:
  // Channel keys kept; a key beyond these is not remembered (the channel is rejoined without it).
  static constexpr size_t kMaxKeys = 64;
  // Bytes of a rejoin line before its CR LF, well inside the 512 the protocol allows.
  static constexpr size_t kMaxJoinLine = 400;

  // A line on its way to the server: "JOIN channels keys" remembers the keys given, "AWAY text"
  // the away message ("AWAY" alone clears it). Other lines change nothing.
  void NoteSent(std::string_view line);
  // Forgets everything: a new network knows none of it.
  void Clear();

  const std::string& away() const { return away_; }
  // The key remembered for a channel (matched without regard to ASCII case), empty for none.
  std::string_view KeyOf(std::string_view channel) const;
  // JOIN lines for these channels with their keys: the keyed ones first, as JOIN pairs keys with
  // the first channels, and as many in a line as fit.
  std::vector<std::string> JoinLines(std::span<const std::string> channels) const;

 private:
  std::vector<std::pair<std::string, std::string>> keys_;  // channel and key
  std::string away_;
};

}  // namespace irc
