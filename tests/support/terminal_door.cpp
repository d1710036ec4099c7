#include "support/terminal_door.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <regex>
#include <stdexcept>

#include "support/sockets.h"

namespace testsupport {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr tcflag_t kCookedFlags = ICANON | ECHO | ISIG;

}  // namespace

TerminalDoor::TerminalDoor(std::string_view ini_contents)
    : folder_("zelkirc-tty", ini_contents.empty() ? std::nullopt : std::optional(ini_contents)) {}

TerminalDoor::~TerminalDoor() {
  child_.Kill();
  stop_ = true;
  if (reader_.joinable()) reader_.join();
  if (caller_fd_ >= 0) close(caller_fd_);
}

void TerminalDoor::Start(std::vector<std::string> args) {
  terminal_ = std::make_unique<PseudoTerminal>(80, 25);

  auto [door_end, caller_end] = SocketPair();
  caller_fd_ = caller_end;
  args.push_back("-H" + std::to_string(door_end));
  ChildProcess::Options options;
  options.argv.push_back(folder_.binary());
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.controlling_terminal = terminal_->slave_name();
  options.inherit_fds = {door_end};
  options.env = {{"TERM", "xterm"}, {"LINES", std::nullopt}, {"COLUMNS", std::nullopt}};
  if (!child_.Start(std::move(options))) throw std::runtime_error("fork");
  close(door_end);
  reader_ = std::thread([this] { DrainTerminal(); });
  // A terminal answers the charset probe at once: the start is read until it has been answered,
  // the screen is cleared without one, or a time has passed.
  const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
  while (!probe_answer.empty() && !probe_answered_ && caller_received_.find("\x1b[2J") == std::string::npos &&
         SteadyClock::now() < deadline) {
    ReadCaller(10);
  }
}

void TerminalDoor::DrainTerminal() {
  char buf[16384];
  const int master = terminal_->master();
  while (!stop_) {
    pollfd p{master, POLLIN, 0};
    const bool ended = door_ended_;
    int n = poll(&p, 1, 20);
    if (n < 0 && errno != EINTR) return;
    if (n == 0 && ended) return;
    if (n <= 0) continue;
    ssize_t got = read(master, buf, sizeof buf);
    if (got > 0) {
      std::lock_guard<std::mutex> lock(terminal_mutex_);
      terminal_output_.append(buf, static_cast<size_t>(got));
    } else if (got < 0 && errno == EINTR) {
      continue;
    } else {
      return;
    }
  }
}

void TerminalDoor::Signal(int sig) {
  child_.Signal(sig);
}

int TerminalDoor::WaitExit(int timeout_ms) {
  const int code = child_.WaitExit(timeout_ms, [this] { ReadCaller(0); });
  // The last screen output is read before the reader stops.
  door_ended_ = true;
  if (reader_.joinable()) reader_.join();
  return code;
}

void TerminalDoor::SysopTypes(std::string_view bytes) {
  if (!terminal_) return;
  while (!bytes.empty()) {
    ssize_t n = write(terminal_->master(), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

bool TerminalDoor::TerminalWaitFor(std::string_view needle, int timeout_ms) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (TerminalOutput().find(needle) != std::string::npos) return true;
    if (SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

std::string TerminalDoor::TerminalOutput() {
  std::lock_guard<std::mutex> lock(terminal_mutex_);
  return terminal_output_;
}

bool TerminalDoor::TerminalModesRestored() {
  if (!terminal_) return false;
  const termios now = terminal_->Modes();
  const termios& before = terminal_->modes_at_start();
  return (now.c_lflag & kCookedFlags) == (before.c_lflag & kCookedFlags) &&
         (now.c_iflag & ICRNL) == (before.c_iflag & ICRNL) &&
         (now.c_oflag & OPOST) == (before.c_oflag & OPOST);
}

void TerminalDoor::CallerTypes(std::string_view bytes) {
  if (caller_fd_ >= 0) WriteAll(caller_fd_, bytes);
}

bool TerminalDoor::CallerWaitFor(std::string_view needle, int timeout_ms) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (caller_received_.find(needle) != std::string::npos) return true;
    if (SteadyClock::now() > deadline || caller_fd_ < 0) return false;
    ReadCaller(10);
  }
}

void TerminalDoor::ReadCaller(int timeout_ms) {
  if (caller_fd_ >= 0) caller_received_ += ReadAvailable(caller_fd_, timeout_ms);
  AnswerCharsetProbe(caller_fd_, caller_received_, probe_answer, probe_answered_);
}

const std::string& TerminalDoor::CallerReceived() {
  ReadCaller(0);
  return caller_received_;
}

void TerminalDoor::CloseCaller() {
  if (caller_fd_ >= 0) close(caller_fd_);
  caller_fd_ = -1;
}

std::string TerminalDoor::Describe() {
  std::string out = TerminalOutput();
  std::string printable;
  for (char c : out.substr(out.size() > 2000 ? out.size() - 2000 : 0)) {
    if (c == '\x1b') {
      printable += "\\e";
    } else if (static_cast<unsigned char>(c) < 0x20 && c != '\n') {
      printable += '.';
    } else {
      printable += c;
    }
  }
  return "terminal output (last 2000 bytes): " + printable;
}

void ExpectTerminalRestored(TerminalDoor& door) {
  EXPECT_TRUE(door.TerminalModesRestored());
  const std::string out = door.TerminalOutput();
  const size_t leave = out.rfind("\x1b[?1049l");
  ASSERT_NE(leave, std::string::npos) << door.Describe();
  EXPECT_EQ(out.find("\x1b[?1049h", leave), std::string::npos);
  EXPECT_FALSE(std::regex_search(out.substr(leave), std::regex("\x1b\\[[0-9;]*[HfABCDJr]")))
      << door.Describe();
  const size_t hidden = out.rfind("\x1b[?25l");
  if (hidden != std::string::npos) {
    EXPECT_NE(out.find("\x1b[?25h", hidden), std::string::npos);
  }
}

}  // namespace testsupport
