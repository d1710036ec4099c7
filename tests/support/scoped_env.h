// Sets or clears an environment variable for the lifetime of the object (tests only).
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace testsupport {

class ScopedEnv {
 public:
  // value nullptr: the variable is removed.
  ScopedEnv(const char* name, const std::string* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace testsupport
