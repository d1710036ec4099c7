// The running program itself.
#pragma once

#include <string>

namespace platform {

// The executable's own path (from /proc/self/exe; argv0 when that is not available).
std::string ProgramPath(const char* argv0);

}  // namespace platform
