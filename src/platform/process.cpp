#include "platform/process.h"

#include <unistd.h>

#include <climits>

namespace platform {

std::string ProgramPath(const char* argv0) {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 ? argv0 : "zelkirc";
}

}  // namespace platform
