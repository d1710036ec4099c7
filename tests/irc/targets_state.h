// Puts conversation targets into a given state for a test: the names after "Status" joined in
// order, then the one at `active` made active.
#pragma once

#include <string>
#include <vector>

#include "irc/client/targets.h"

namespace irc {

inline void SetTargets(Targets& targets, const std::vector<std::string>& names, int active) {
  targets.Reset();
  for (size_t i = 1; i < names.size(); ++i) targets.Add(names[i]);
  targets.Activate(active);
}

}  // namespace irc
