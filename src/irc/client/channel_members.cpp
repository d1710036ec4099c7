// The members of each channel, kept from NAMES, JOIN, PART, KICK, QUIT and NICK within bounds.
#include "irc/client/channel_members.h"

#include <algorithm>

#include "irc/client/irc_case.h"

namespace irc {
namespace {

std::string_view Param(const ServerMessage& words, size_t i) {
  std::string_view word = words[i];
  if (word.starts_with(':')) word.remove_prefix(1);
  return word;
}

std::string_view SourceNick(const ServerMessage& words) {
  std::string_view source = Param(words, 0);
  return source.substr(0, source.find('!'));
}

}  // namespace

void ChannelMembers::OnServerLine(const ServerMessage& words, std::string_view own_nick,
                                  const ServerSupport& support) {
  if (words.size() < 3) return;
  const std::string_view verb = words[1];
  // The lines that change nothing here, chat above all, are passed over at once.
  if (verb == "PRIVMSG" || verb == "NOTICE") return;
  const std::string_view nick = SourceNick(words);
  if (verb == "353") {  // :server 353 me = #channel :@op +voice nick
    Channel* channel = Find(Param(words, 4));
    if (channel == nullptr) return;
    for (size_t i = 5; i < words.size(); ++i) {
      const std::string_view name = support.WithoutPrefixes(Param(words, i));
      Add(*channel, name.substr(0, name.find('!')));  // userhost-in-names gives nick!user@host
    }
  } else if (verb == "JOIN") {
    const std::string_view name = Param(words, 2);
    if (support.SameName(nick, own_nick)) {
      Channel* channel = Find(name);
      if (channel == nullptr) {
        if (channels_.size() >= kMaxChannels || name.empty()) return;
        channels_.push_back({std::string(name), {}});
        channel = &channels_.back();
      }
      Add(*channel, nick);
    } else if (Channel* channel = Find(name)) {
      Add(*channel, nick);
    }
  } else if (verb == "PART" || verb == "KICK") {
    const std::string_view leaver = verb == "PART" ? nick : Param(words, 3);
    const std::string_view name = Param(words, 2);
    if (support.SameName(leaver, own_nick)) {
      const auto it = std::find_if(channels_.begin(), channels_.end(),
                                   [&](const Channel& c) { return IrcEqual(c.name, name); });
      if (it == channels_.end()) return;
      total_ -= it->nicks.size();
      channels_.erase(it);
    } else if (Channel* channel = Find(name)) {
      Remove(*channel, leaver);
    }
  } else if (verb == "QUIT") {
    for (Channel& channel : channels_) Remove(channel, nick);
  } else if (verb == "NICK") {
    const std::string_view new_nick = Param(words, 2);
    for (Channel& channel : channels_) {
      const size_t before = channel.nicks.size();
      Remove(channel, nick);
      if (channel.nicks.size() != before) Add(channel, new_nick);
    }
  }
}

const std::vector<std::string>& ChannelMembers::Of(std::string_view channel) const {
  static const std::vector<std::string> kNone;
  for (const Channel& c : channels_) {
    if (IrcEqual(c.name, channel)) return c.nicks;
  }
  return kNone;
}

void ChannelMembers::Clear() {
  channels_.clear();
  total_ = 0;
}

ChannelMembers::Channel* ChannelMembers::Find(std::string_view channel) {
  for (Channel& c : channels_) {
    if (IrcEqual(c.name, channel)) return &c;
  }
  return nullptr;
}

void ChannelMembers::Add(Channel& channel, std::string_view nick) {
  if (nick.empty() || nick.size() > kMaxNickLength) return;
  auto& nicks = channel.nicks;
  const auto at = std::lower_bound(nicks.begin(), nicks.end(), nick,
                                   [](const std::string& a, std::string_view b) { return IrcLess(a, b); });
  if (at != nicks.end() && IrcEqual(*at, nick)) {
    at->assign(nick);  // the case the server gives now
    return;
  }
  if (nicks.size() >= kMaxPerChannel || total_ >= kMaxTotal) return;
  nicks.emplace(at, nick);
  ++total_;
}

void ChannelMembers::Remove(Channel& channel, std::string_view nick) {
  auto& nicks = channel.nicks;
  const auto at = std::lower_bound(nicks.begin(), nicks.end(), nick,
                                   [](const std::string& a, std::string_view b) { return IrcLess(a, b); });
  if (at == nicks.end() || !IrcEqual(*at, nick)) return;
  nicks.erase(at);
  --total_;
}

}  // namespace irc
