#include "support/child_process.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

namespace testsupport {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kCannotPrepare = 126;
constexpr int kCannotRun = 127;

// The test's environment with the changes made.
std::vector<std::string> Environment(const std::map<std::string, std::optional<std::string>>& changes) {
  std::vector<std::string> out;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string entry = *variable;
    const std::string name = entry.substr(0, entry.find('='));
    if (!changes.contains(name)) out.push_back(entry);
  }
  for (const auto& [name, value] : changes) {
    if (value) out.push_back(name + "=" + *value);
  }
  return out;
}

// In the child, between fork and exec (async-signal-safe calls only): the stream's descriptor,
// moved above 2 so that placing one stream cannot overwrite another; -1 for a closed stream, -2 to
// leave the test's own.
int StreamSource(const ChildProcess::Stream& stream) {
  using Kind = ChildProcess::Stream::Kind;
  int fd = -1;
  switch (stream.kind) {
    case Kind::kInherit:
      return -2;
    case Kind::kClosed:
      return -1;
    case Kind::kDescriptor:
      fd = stream.fd;
      break;
    case Kind::kReadFile:
      fd = open(stream.path.c_str(), O_RDONLY | O_CLOEXEC);
      break;
    case Kind::kWriteFile:
      fd = open(stream.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      break;
    case Kind::kAppendFile:
      fd = open(stream.path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      break;
  }
  if (fd < 0) _exit(kCannotPrepare);
  const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (moved < 0) _exit(kCannotPrepare);
  return moved;
}

[[noreturn]] void RunChild(const ChildProcess::Options& options, char* const* argv, char* const* envp) {
  if (options.no_core_file) {
    const rlimit no_core{0, 0};
    setrlimit(RLIMIT_CORE, &no_core);
  }
  if (options.own_process_group) setpgid(0, 0);
  int sources[3];
  if (!options.controlling_terminal.empty()) {
    setsid();
    // The first terminal a session leader opens becomes its controlling terminal.
    const int terminal = open(options.controlling_terminal.c_str(), O_RDWR);
    if (terminal < 0) _exit(kCannotPrepare);
    for (int& source : sources) source = fcntl(terminal, F_DUPFD_CLOEXEC, 3);
    if (terminal > 2) close(terminal);
  } else {
    sources[0] = StreamSource(options.in);
    sources[1] = StreamSource(options.out);
    sources[2] = StreamSource(options.err);
  }
  for (int target = 0; target < 3; ++target) {
    if (sources[target] == -2) continue;
    if (sources[target] >= 0) {
      if (dup2(sources[target], target) < 0) _exit(kCannotPrepare);
    } else {
      close(target);
    }
  }
  for (int fd : options.inherit_fds) fcntl(fd, F_SETFD, 0);
  if (!options.working_dir.empty() && chdir(options.working_dir.c_str()) != 0) _exit(kCannotPrepare);
  if (options.gid && (setgroups(0, nullptr) != 0 || setgid(*options.gid) != 0)) _exit(kCannotPrepare);
  if (options.uid && setuid(*options.uid) != 0) _exit(kCannotPrepare);
  execve(argv[0], argv, envp);
  _exit(kCannotRun);
}

}  // namespace

ChildProcess::~ChildProcess() {
  Kill();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      own_group_(other.own_group_),
      reaped_(other.reaped_),
      exit_code_(other.exit_code_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Kill();
    pid_ = std::exchange(other.pid_, -1);
    own_group_ = other.own_group_;
    reaped_ = other.reaped_;
    exit_code_ = other.exit_code_;
  }
  return *this;
}

bool ChildProcess::Start(Options options) {
  if (options.argv.empty() || Running()) return false;
  // Everything the child needs is made before the fork: a test may have threads, and the child of
  // a threaded process may only call async-signal-safe functions until it execs.
  std::vector<char*> argv;
  for (std::string& arg : options.argv) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment = Environment(options.env);
  std::vector<char*> envp;
  for (std::string& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) RunChild(options, argv.data(), envp.data());
  // Also here, so that a group signal sent at once reaches it.
  if (options.own_process_group) setpgid(pid, pid);
  pid_ = pid;
  own_group_ = options.own_process_group;
  reaped_ = false;
  exit_code_.reset();
  return true;
}

void ChildProcess::Reaped(int status) {
  reaped_ = true;
  if (WIFEXITED(status)) {
    exit_code_ = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    exit_code_ = kSignalBase + WTERMSIG(status);
  }
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || reaped_) return false;
  int status = 0;
  const pid_t got = waitpid(pid_, &status, WNOHANG);
  if (got == pid_) {
    Reaped(status);
    return false;
  }
  if (got < 0 && errno != EINTR) {
    reaped_ = true;  // not our child any more: nothing left to wait for
    return false;
  }
  return true;
}

void ChildProcess::Signal(int sig) {
  if (Running()) kill(pid_, sig);
}

std::optional<int> ChildProcess::WaitFor(int timeout_ms, const std::function<void()>& while_waiting) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  while (Running()) {
    if (SteadyClock::now() >= deadline) return std::nullopt;
    if (while_waiting) while_waiting();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return exit_code_ ? exit_code_ : std::optional<int>(kKilled);
}

int ChildProcess::WaitExit(int timeout_ms, const std::function<void()>& while_waiting) {
  if (std::optional<int> code = WaitFor(timeout_ms, while_waiting)) return *code;
  Kill();
  exit_code_ = kKilled;
  return kKilled;
}

std::optional<int> ChildProcess::Stop(int grace_ms) {
  if (pid_ <= 0) return std::nullopt;
  Signal(SIGTERM);
  return WaitExit(grace_ms);
}

void ChildProcess::Kill() {
  if (pid_ <= 0 || reaped_) return;
  kill(own_group_ ? -pid_ : pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) {
      reaped_ = true;
      return;
    }
  }
  Reaped(status);
}

}  // namespace testsupport
