#include "irc/client/targets.h"

#include <utility>

namespace irc {

int Targets::Find(std::string_view name) const {
  for (size_t i = 0; i < names_.size(); ++i) {
    if (support_.SameName(names_[i], name)) return static_cast<int>(i);
  }
  return -1;
}

bool Targets::Next() {
  const int count = static_cast<int>(names_.size());
  if (count == 1 && active_ != 0) {
    active_ = 0;
    return true;
  }
  if (count > 1) {
    ++active_;
    if (active_ >= count) active_ = 1;
    return true;
  }
  return false;
}

void Targets::Add(std::string name) {
  names_.push_back(std::move(name));
  active_ = Find(names_.back());
}

void Targets::Activate(int index) {
  if (index >= 0 && index < static_cast<int>(names_.size())) active_ = index;
}

// Entry 0 (Status) is never looked at, so no server line can take it away.
Targets::Left Targets::Leave(std::string_view name) {
  int index = -1;
  for (size_t i = 1; i < names_.size(); ++i) {
    if (support_.SameName(names_[i], name)) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (index < 0) return Left::kNotFound;
  names_.erase(names_.begin() + index);
  if (index == active_) {
    Next();
    return Left::kActive;
  }
  if (index < active_) --active_;
  return Left::kOther;
}

void Targets::Reset() {
  names_.assign(1, std::string(kStatus));
  active_ = 0;
}

}  // namespace irc
