// The socket helpers for tests on Windows (loopback only): Winsock in place of POSIX sockets, and
// a loopback TCP pair in place of socketpair.
#include "support/sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <stdexcept>

#include "platform/windows/wait_handles.h"

namespace testsupport {
namespace {

SOCKET S(int fd) {
  return static_cast<SOCKET>(static_cast<unsigned int>(fd));
}

bool Readable(SOCKET s, int timeout_ms) {
  fd_set reads;
  FD_ZERO(&reads);
  FD_SET(s, &reads);
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  return select(0, &reads, nullptr, nullptr, &tv) > 0;
}

// Bytes sent on loopback TCP under Wine become readable a moment later, not at once as on a
// socket pair: "what is there now" waits for this much quiet.
constexpr int kSettleMs = 30;

}  // namespace

std::pair<int, int> SocketPair() {
  int port = 0;
  const int listener = ListenLoopback(&port);
  const SOCKET first = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  if (connect(first, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("connect");
  const SOCKET second = accept(S(listener), nullptr, nullptr);
  closesocket(S(listener));
  if (second == INVALID_SOCKET) throw std::runtime_error("accept");
  // Small writes leave at once, as they do on a socket pair.
  const BOOL no_delay = TRUE;
  for (SOCKET s : {first, second}) {
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&no_delay), sizeof no_delay);
  }
  return {static_cast<int>(first), static_cast<int>(second)};
}

int ListenLoopbackAt(int port) {
  platform::windows::EnsureWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(s, 16) != 0) {
    closesocket(s);
    return -1;
  }
  return static_cast<int>(s);
}

int ConnectLoopback(int port) {
  platform::windows::EnsureWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    return -1;
  }
  return static_cast<int>(s);
}

int ListenLoopback(int* port) {
  const int fd = ListenLoopbackAt(0);
  if (fd < 0) throw std::runtime_error("listen");
  sockaddr_in addr{};
  int len = sizeof addr;
  getsockname(S(fd), reinterpret_cast<sockaddr*>(&addr), &len);
  if (port) *port = ntohs(addr.sin_port);
  return fd;
}

int AcceptWithin(int listen_fd, int timeout_ms) {
  if (!Readable(S(listen_fd), timeout_ms)) return -1;
  const SOCKET s = accept(S(listen_fd), nullptr, nullptr);
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

std::string ReadAvailable(int fd, int timeout_ms) {
  std::string out;
  char buf[65536];
  if (timeout_ms == 0) timeout_ms = kSettleMs;
  while (Readable(S(fd), timeout_ms)) {
    const int n = recv(S(fd), buf, sizeof buf, 0);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const int n = send(S(fd), data.data(), static_cast<int>(data.size()), 0);
    if (n <= 0) return;
    data.remove_prefix(static_cast<size_t>(n));
  }
}

void CloseSocket(int fd) {
  closesocket(S(fd));
}

FullListener::FullListener() {
  listener_ = ListenLoopback(&port_);
  listen(S(listener_), 0);  // room for one connection that nobody accepts
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<u_short>(port_));
  for (int i = 0; i < 2; ++i) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long non_blocking = 1;
    ioctlsocket(s, FIONBIO, &non_blocking);
    connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fillers_.push_back(static_cast<int>(s));
  }
}

FullListener::~FullListener() {
  for (int fd : fillers_) closesocket(S(fd));
  closesocket(S(listener_));
}

}  // namespace testsupport
