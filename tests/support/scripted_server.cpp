#include "support/scripted_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "support/sockets.h"

namespace testsupport {
namespace {

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ScriptedServer::ScriptedServer() {
  listen_fd_ = ListenLoopback(&port_);
}

ScriptedServer::~ScriptedServer() {
  Close();
  StopListening();
}

bool ScriptedServer::Accept(int timeout_ms) {
  Close();
  if (listen_fd_ < 0) return false;
  client_fd_ = AcceptWithin(listen_fd_, timeout_ms);
  peer_closed_ = false;
  received_.clear();
  scanned_ = 0;
  lines_.clear();
  returned_ = 0;
  return client_fd_ >= 0;
}

bool ScriptedServer::AcceptIntoChannel(std::string_view channel, int timeout_ms) {
  if (!Accept(timeout_ms) || !WaitForLine("USER ", timeout_ms)) return false;
  SendLine(":Wolf!w@h JOIN :" + std::string(channel));
  return true;
}

void ScriptedServer::Send(std::string_view raw) {
  if (client_fd_ >= 0) WriteAll(client_fd_, raw);
}

size_t ScriptedServer::SendWithin(std::string_view raw, int timeout_ms) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  size_t taken = 0;
  while (client_fd_ >= 0 && taken < raw.size()) {
    const ssize_t n = send(client_fd_, raw.data() + taken, raw.size() - taken, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      taken += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
    const int left = MsLeft(deadline);
    if (left == 0) break;
    pollfd p{client_fd_, POLLOUT, 0};
    poll(&p, 1, left);
  }
  return taken;
}

void ScriptedServer::SetReceiveBuffer(int bytes) {
  if (listen_fd_ >= 0) setsockopt(listen_fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void ScriptedServer::SendLine(std::string_view line) {
  std::string text(line);
  text.append("\r\n");
  Send(text);
}

bool ScriptedServer::ReadSome(int timeout_ms) {
  if (client_fd_ < 0 || peer_closed_) return false;
  pollfd p{client_fd_, POLLIN, 0};
  int n = poll(&p, 1, timeout_ms);
  if (n <= 0) return true;
  char buf[65536];
  for (;;) {
    ssize_t got = recv(client_fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (got > 0) {
      received_.append(buf, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) break;
    peer_closed_ = true;
    break;
  }
  SplitNewLines();
  return !peer_closed_;
}

void ScriptedServer::SplitNewLines() {
  for (size_t lf = received_.find('\n', scanned_); lf != std::string::npos;
       lf = received_.find('\n', scanned_)) {
    size_t end = lf > scanned_ && received_[lf - 1] == '\r' ? lf - 1 : lf;
    lines_.push_back(received_.substr(scanned_, end - scanned_));
    scanned_ = lf + 1;
  }
}

std::vector<std::string> ScriptedServer::ReadLines(int timeout_ms) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  ReadSome(0);
  while (returned_ == lines_.size() && ReadSome(MsLeft(deadline)) && MsLeft(deadline) > 0) {
  }
  std::vector<std::string> out(lines_.begin() + static_cast<long>(returned_), lines_.end());
  returned_ = lines_.size();
  return out;
}

std::optional<std::string> ScriptedServer::WaitForLine(std::string_view prefix, int timeout_ms) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  ReadSome(0);
  for (;;) {
    while (returned_ < lines_.size()) {
      const std::string& line = lines_[returned_++];
      if (line.starts_with(prefix)) return line;
    }
    if (!ReadSome(MsLeft(deadline))) {
      if (returned_ < lines_.size()) continue;
      return std::nullopt;
    }
    if (returned_ == lines_.size() && MsLeft(deadline) == 0) return std::nullopt;
  }
}

bool ScriptedServer::WaitForClose(int timeout_ms) {
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  while (ReadSome(MsLeft(deadline))) {
    if (MsLeft(deadline) == 0) return false;
  }
  return peer_closed_ || client_fd_ < 0;
}

void ScriptedServer::Close() {
  if (client_fd_ >= 0) close(client_fd_);
  client_fd_ = -1;
}

void ScriptedServer::Reset() {
  if (client_fd_ < 0) return;
  const linger abort_on_close{.l_onoff = 1, .l_linger = 0};
  setsockopt(client_fd_, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
  Close();
}

void ScriptedServer::StopListening() {
  if (listen_fd_ >= 0) close(listen_fd_);
  listen_fd_ = -1;
}

}  // namespace testsupport
