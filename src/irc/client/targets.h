// The conversation targets: "Status" first, then the channels (and queries) the caller is in, in
// the order they were joined, one of them active: where typed text goes and what the prompt names.
// Names are compared under the case mapping of the link's server.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "irc/protocol/isupport.h"

namespace irc {

class Targets {
 public:
  static constexpr std::string_view kStatus = "Status";

  // support is read at every comparison: it follows what the link's server announces.
  explicit Targets(const ServerSupport& support) : support_(support) {}

  const std::vector<std::string>& names() const { return names_; }
  size_t size() const { return names_.size(); }
  // The active target's index; always one of the list.
  int active() const { return active_; }
  const std::string& ActiveName() const { return names_[static_cast<size_t>(active_)]; }
  bool StatusActive() const { return active_ == 0; }

  // Index of the first target equal to name under the server's case mapping, or -1.
  int Find(std::string_view name) const;
  // Ctrl-X: the next channel after the active one, round the channels only (Status is left out
  // once a channel is there). False when there is no other target to go to.
  bool Next();
  // A channel joined: appended, and the first target of its name becomes active.
  void Add(std::string name);
  // Makes the target at index active; an index outside the list is ignored.
  void Activate(int index);

  enum class Left {
    kNotFound,  // no such channel (Status is never one)
    kOther,     // removed; the active target stays the active one
    kActive,    // the active target removed: the next one is active now
  };
  // The first channel equal to name leaves the list.
  Left Leave(std::string_view name);
  // Only Status is left, and active.
  void Reset();

 private:
  const ServerSupport& support_;
  std::vector<std::string> names_{std::string(kStatus)};
  int active_ = 0;
};

}  // namespace irc
