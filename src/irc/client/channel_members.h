// Who is in each channel the caller is in, as the server tells it: the NAMES listing (353), then
// JOIN, PART, KICK, QUIT and NICK. Kept for nickname completion. Bounded per channel and in all:
// names past a bound are not kept.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "irc/protocol/isupport.h"
#include "irc/protocol/server_message.h"

namespace irc {

class ChannelMembers {
 public:
  static constexpr size_t kMaxPerChannel = 1000;
  static constexpr size_t kMaxTotal = 4000;
  static constexpr size_t kMaxChannels = 50;
  static constexpr size_t kMaxNickLength = 64;

  // A parsed server line; own_nick tells the caller's own joins and parts. The server's PREFIX
  // gives the characters that mark channel status in a NAMES listing (@, + and the like).
  void OnServerLine(const ServerMessage& words, std::string_view own_nick, const ServerSupport& support);
  // The members of a channel, in IRC case order; empty for one the caller is not in.
  const std::vector<std::string>& Of(std::string_view channel) const;
  void Clear();
  size_t total() const { return total_; }

 private:
  struct Channel {
    std::string name;
    std::vector<std::string> nicks;  // sorted by IRC case
  };
  Channel* Find(std::string_view channel);
  void Add(Channel& channel, std::string_view nick);
  void Remove(Channel& channel, std::string_view nick);

  std::vector<Channel> channels_;
  size_t total_ = 0;
};

}  // namespace irc
