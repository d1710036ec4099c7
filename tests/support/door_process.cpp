#include "support/door_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/sockets.h"

namespace testsupport {
namespace fs = std::filesystem;

DoorProcess::DoorProcess(std::string_view ini_contents)
    : folder_("zelkirc-e2e", ini_contents.empty() ? std::nullopt : std::optional(ini_contents)),
      binary_(folder_.binary()) {}

DoorProcess::~DoorProcess() {
  child_.Kill();
  if (caller_fd_ >= 0) close(caller_fd_);
}

std::string DoorProcess::WriteFile(std::string_view name, std::string_view contents) {
  return folder_.WriteFile(name, contents);
}

void DoorProcess::StartWithCaller(bool tcp, std::vector<std::string> args_before,
                                  std::vector<std::string> args_after) {
  int door_end, caller_end;
  if (tcp) {
    int port = 0;
    int listener = ListenLoopback(&port);
    caller_end = ConnectLoopback(port);
    if (caller_end < 0) throw std::runtime_error("connect");
    door_end = AcceptWithin(listener, 2000);
    close(listener);
  } else {
    std::tie(door_end, caller_end) = SocketPair();
  }
  caller_fd_ = caller_end;
  std::vector<std::string> args = std::move(args_before);
  args.push_back("-H" + std::to_string(door_end));
  args.insert(args.end(), args_after.begin(), args_after.end());
  Start(std::move(args), door_end);
  close(door_end);  // the BBS keeps its own copy; here the child has it
  AwaitCharsetProbe();
}

void DoorProcess::AwaitCharsetProbe() {
  // A terminal answers at once: the start is read until the probe has been answered, the screen
  // is cleared without one, or the door has ended.
  if (probe_answer.empty()) return;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!probe_answered_ && received_.find("\x1b[2J") == std::string::npos && Running() &&
         std::chrono::steady_clock::now() < deadline) {
    Pump(10);
  }
}

void DoorProcess::Start(std::vector<std::string> args, int inherit_fd, const std::string& stdin_path) {
  ChildProcess::Options options = Options(std::move(args), inherit_fd);
  options.in = ChildProcess::Stream::ReadFrom(stdin_path);
  options.out = ChildProcess::Stream::WriteTo(dir() + "/stdout.txt");
  options.err = ChildProcess::Stream::WriteTo(dir() + "/stderr.txt");
  if (run_as_uid_ >= 0) options.uid = static_cast<uid_t>(run_as_uid_);
  if (run_as_gid_ >= 0) options.gid = static_cast<gid_t>(run_as_gid_);
  if (!child_.Start(std::move(options))) throw std::runtime_error("fork");
}

ChildProcess::Options DoorProcess::Options(std::vector<std::string> args, int inherit_fd) const {
  ChildProcess::Options options;
  options.argv.push_back(binary_);
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  if (inherit_fd >= 0) options.inherit_fds.push_back(inherit_fd);
  return options;
}

void DoorProcess::RunAs(unsigned uid, unsigned gid) {
  run_as_uid_ = static_cast<int>(uid);
  run_as_gid_ = static_cast<int>(gid);
  // The directory and the binary must be open to that user; its files stay as they are.
  fs::permissions(dir(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(binary_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                               fs::perms::group_read | fs::perms::others_read);
}

void DoorProcess::StartWithStandardStreams(std::vector<std::string> args, int in, int out, int err,
                                           int inherit_fd) {
  const auto stream = [](int fd) {
    return fd >= 0 ? ChildProcess::Stream::Descriptor(fd) : ChildProcess::Stream::Closed();
  };
  ChildProcess::Options options = Options(std::move(args), inherit_fd);
  options.in = stream(in);
  options.out = stream(out);
  options.err = stream(err);
  if (!child_.Start(std::move(options))) throw std::runtime_error("fork");
}

bool DoorProcess::Running() {
  return child_.Running();
}

int DoorProcess::WaitExit(int timeout_ms) {
  return child_.WaitExit(timeout_ms, [this] { Pump(0); });
}

void DoorProcess::Signal(int sig) {
  child_.Signal(sig);
}

void DoorProcess::CallerTypes(std::string_view bytes) {
  WriteAll(caller_fd_, bytes);
}

void DoorProcess::Pump(int timeout_ms) {
  if (caller_fd_ >= 0) received_ += ReadAvailable(caller_fd_, timeout_ms);
  AnswerCharsetProbe(caller_fd_, received_, probe_answer, probe_answered_);
}

bool DoorProcess::CallerWaitFor(std::string_view needle, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  size_t from = 0;
  for (;;) {
    if (received_.find(needle, from) != std::string::npos) return true;
    from = received_.size() > needle.size() ? received_.size() - needle.size() : 0;
    if (std::chrono::steady_clock::now() > deadline || caller_fd_ < 0) return false;
    Pump(10);
  }
}

const std::string& DoorProcess::CallerReceived() {
  Pump(0);
  return received_;
}

bool DoorProcess::CallerLogsIn(std::string_view name, std::string_view password, int timeout_ms) {
  if (!CallerWaitFor("Please Enter Your User Name: ", timeout_ms)) return false;
  CallerTypes(std::string(name) + "\r");
  if (!CallerWaitFor("Please Enter Your Password:  ", timeout_ms)) return false;
  CallerTypes(std::string(password) + "\r");
  return true;
}

void DoorProcess::CloseCaller() {
  if (caller_fd_ >= 0) close(caller_fd_);
  caller_fd_ = -1;
}

std::string DoorProcess::Stdout() const {
  std::ifstream in(dir() + "/stdout.txt", std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// What the caller saw, without the colour and cursor sequences.
std::string WithoutEscapes(std::string_view bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      i += 2;
      while (i < bytes.size() && !(bytes[i] >= '@' && bytes[i] <= '~')) ++i;
      continue;
    }
    text += bytes[i];
  }
  return text;
}

}  // namespace testsupport
