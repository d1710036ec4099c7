#include "platform/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace platform {

std::string ProgramPath(const char* argv0) {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) return std::string(buf, static_cast<size_t>(n));
  return argv0 ? argv0 : "zelkirc";
}

std::string InvokedPath(const char* argv0) {
  if (argv0 == nullptr || std::string_view(argv0).find('/') == std::string_view::npos) return {};
  return argv0;
}

void HoldStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, since those below it are open by now.
    const int held = open("/dev/null", O_RDONLY);
    if (held >= 0 && held != fd) {
      dup2(held, fd);
      close(held);
    }
  }
}

void WriteStandardOutput(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::string_view ExampleDropFilePath() {
  return "/bbs/node1/door32.sys";
}

}  // namespace platform
