// The caps on channels the server can make the client keep as targets.
#include "irc/protocol/target_limits.h"

namespace irc {

static_assert(kMaxChannelTargets == 64 && kMaxTargetNameLength == 200, "the refusal texts name the limits");

std::string_view TargetRefusal(size_t channel_count, std::string_view name) {
  if (name.size() > kMaxTargetNameLength) return "name longer than 200 characters";
  if (channel_count >= kMaxChannelTargets) return "64 channels already open";
  return {};
}

std::string PromptName(std::string_view name) {
  if (name.size() <= kMaxPromptNameLength) return std::string(name);
  std::string shown(name.substr(0, kMaxPromptNameLength - kCutMarker.size()));
  shown.append(kCutMarker);
  return shown;
}

}  // namespace irc
