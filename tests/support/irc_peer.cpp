#include "support/irc_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "support/sockets.h"

namespace testsupport {

IrcPeer::~IrcPeer() {
  Close();
}

void IrcPeer::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool IrcPeer::Connect(int port) {
  Close();
  fd_ = ConnectLoopback(port);
  return fd_ >= 0;
}

bool IrcPeer::Register(int port, std::string_view nick, int timeout_ms) {
  if (!Connect(port)) return false;
  SendLine("NICK " + std::string(nick));
  SendLine("USER " + std::string(nick) + " 0 * :Test Peer");
  return WaitFor(" 001 ", timeout_ms).has_value();
}

void IrcPeer::SendLine(std::string_view line) {
  if (fd_ >= 0) WriteAll(fd_, std::string(line) + "\r\n");
}

std::optional<std::string> IrcPeer::WaitFor(std::string_view needle, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    for (; checked_ < lines_.size(); ++checked_) {
      if (lines_[checked_].find(needle) != std::string::npos) return lines_[checked_++];
    }
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0 || fd_ < 0) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    char buf[65536];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
      Close();
      continue;
    }
    pending_.append(buf, static_cast<size_t>(n));
    size_t pos = 0, lf;
    while ((lf = pending_.find('\n', pos)) != std::string::npos) {
      std::string line = pending_.substr(pos, lf - pos);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind("PING ", 0) == 0) SendLine("PONG " + line.substr(5));
      lines_.push_back(std::move(line));
      pos = lf + 1;
    }
    pending_.erase(0, pos);
  }
}

}  // namespace testsupport
