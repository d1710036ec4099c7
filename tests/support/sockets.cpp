#include "support/sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {

std::pair<int, int> SocketPair() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) throw std::runtime_error("socketpair");
  return {fds[0], fds[1]};
}

int ListenLoopbackAt(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int ListenLoopback(int* port) {
  int fd = ListenLoopbackAt(0);
  if (fd < 0) throw std::runtime_error("listen");
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  if (port) *port = ntohs(addr.sin_port);
  return fd;
}

int AcceptWithin(int listen_fd, int timeout_ms) {
  pollfd p{listen_fd, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return -1;
  return accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
}

std::string ReadAvailable(int fd, int timeout_ms) {
  std::string out;
  char buf[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) break;
    ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && errno == ENOTSOCK) n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
}

void CloseSocket(int fd) {
  close(fd);
}

FullListener::FullListener() {
  listener_ = ListenLoopback(&port_);
  listen(listener_, 0);  // room for one connection that nobody accepts
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port_));
  // The first connection fills the queue; the second stays unanswered, like any later one.
  for (int i = 0; i < 2; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fillers_.push_back(fd);
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, i == 0 ? 1000 : 0);
  }
}

FullListener::~FullListener() {
  for (int fd : fillers_) close(fd);
  close(listener_);
}

void AnswerCharsetProbe(int fd, std::string_view received, std::string_view answer, bool& answered) {
  if (answered || fd < 0 || received.find("\x1b[6n") == std::string_view::npos) return;
  answered = true;
  if (!answer.empty()) WriteAll(fd, answer);
}

}  // namespace testsupport
