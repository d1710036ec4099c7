// Bounds on what a server can make the client keep in its list of conversation targets. Each
// JOIN the server confirms for the user adds a channel; a hostile server can confirm any number of
// channels with names of any length, so both are capped far above real use. A join beyond a cap
// is still shown, only not kept as a target.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace irc {

// Channels kept besides "Status". Real servers let a user join 20 to 120 channels.
inline constexpr size_t kMaxChannelTargets = 64;
// Bytes of a kept channel name. Real servers allow 50 to 64.
inline constexpr size_t kMaxTargetNameLength = 200;
// Characters of a target name the input prompt shows: every channel name a real server allows is
// shown whole, and the prompt "[" + name + "] " leaves at least 26 of the 79 columns for typing.
inline constexpr size_t kMaxPromptNameLength = 50;
// Ends a name cut for the prompt.
inline constexpr std::string_view kCutMarker = "...";

// Why a joined channel is not kept when channel_count channels already are, or empty when it is.
std::string_view TargetRefusal(size_t channel_count, std::string_view name);

// The name as the input prompt shows it: whole when it has at most kMaxPromptNameLength
// characters, else its first characters and kCutMarker in that many.
std::string PromptName(std::string_view name);

}  // namespace irc
