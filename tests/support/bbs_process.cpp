#include "support/bbs_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "support/sockets.h"

namespace testsupport {

#ifndef ZELKBBS_BINARY
#define ZELKBBS_BINARY "zelkbbs"
#endif

namespace {

using SteadyClock = std::chrono::steady_clock;

}  // namespace

BbsProcess::BbsProcess(std::string_view ini_contents) : folder_("zelkbbs-test", ini_contents) {}

BbsProcess::~BbsProcess() {
  HangUp();
  // The BBS and its nodes share a process group; a door on a terminal has a session of its own
  // and ends when its node closes the terminal.
  process_.Kill();
  if (log_fd_ >= 0) close(log_fd_);
}

bool BbsProcess::Start(std::vector<std::string> options) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  ChildProcess::Options child;
  child.argv = {ZELKBBS_BINARY, "--port", "0", "--door", folder_.binary()};
  child.argv.insert(child.argv.end(), options.begin(), options.end());
  child.in = ChildProcess::Stream::Inherit();
  child.out = ChildProcess::Stream::Descriptor(out[1]);
  child.own_process_group = true;
  if (!process_.Start(std::move(child))) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  close(out[1]);
  log_fd_ = out[0];
  if (!LogWaitFor("on 127.0.0.1:", 5000)) return false;
  const size_t at = log_.find("on 127.0.0.1:") + 13;
  port_ = std::atoi(log_.c_str() + at);
  return port_ > 0;
}

bool BbsProcess::Call() {
  caller_fd_ = ConnectLoopback(port_);
  return caller_fd_ >= 0;
}

void BbsProcess::CallerTypes(std::string_view bytes) {
  if (caller_fd_ >= 0) WriteAll(caller_fd_, bytes);
}

bool BbsProcess::CallerWaitFor(std::string_view needle, int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (received_.find(needle) != std::string::npos) return true;
    if (SteadyClock::now() > deadline || caller_fd_ < 0) return false;
    received_ += ReadAvailable(caller_fd_, 10);
  }
}

const std::string& BbsProcess::CallerReceived() {
  if (caller_fd_ >= 0) received_ += ReadAvailable(caller_fd_, 0);
  return received_;
}

void BbsProcess::HangUp() {
  if (caller_fd_ >= 0) close(caller_fd_);
  caller_fd_ = -1;
}

void BbsProcess::ReadLog(int timeout_ms) {
  char buf[4096];
  pollfd p{log_fd_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return;
  const ssize_t n = read(log_fd_, buf, sizeof buf);
  if (n > 0) log_.append(buf, static_cast<size_t>(n));
}

bool BbsProcess::LogWaitFor(std::string_view needle, int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (log_.find(needle) != std::string::npos) return true;
    if (SteadyClock::now() > deadline || log_fd_ < 0) return false;
    ReadLog(10);
  }
}

const std::string& BbsProcess::Log() {
  ReadLog(0);
  return log_;
}

}  // namespace testsupport
