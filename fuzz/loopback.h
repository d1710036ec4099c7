// Plumbing shared by the fuzz targets that run a door: socket pairs with big buffers, a listener
// on 127.0.0.1 whose connections are accepted and read without blocking, and a private directory
// for the files a target writes. Draining every peer between steps keeps the door under test from
// ever waiting in a send.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/sockets.h"

namespace fuzzsupport {

inline void Require(bool ok, const char* what) {
  if (!ok) {
    std::perror(what);
    std::abort();
  }
}

inline void SetBigBuffers(int fd) {
  const int size = 4 << 20;
  setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

// A connected AF_UNIX stream pair, both ends with big buffers.
inline std::pair<int, int> SocketPair() {
  const std::pair<int, int> pair = testsupport::SocketPair();
  SetBigBuffers(pair.first);
  SetBigBuffers(pair.second);
  return pair;
}

// Reads what is readable now, appending it to *received unless that is null; false once the peer
// has closed or failed.
inline bool Drain(int fd, std::string* received = nullptr) {
  char buf[64 * 1024];
  for (;;) {
    ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      if (received != nullptr) received->append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// Once the door has gone, what it did not read does not matter.
using testsupport::WriteAll;

// Closes with a reset, so that thousands of runs a second leave no TIME_WAIT entries behind.
inline void CloseWithReset(int fd) {
  linger hard{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(fd);
}

// A port on 127.0.0.1 that refuses connections: bound but never listening.
class RefusingPort {
 public:
  RefusingPort() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Require(fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind");
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A stand-in IRC server on 127.0.0.1: accepts every connection and reads whatever the client sends.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Require(fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind");
    Require(listen(fd_, 256) == 0, "listen");
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Listener() {
    Reset();
    close(fd_);
  }
  int port() const { return port_; }

  // Accepts what is pending and reads every connection empty, appending what the client sent to
  // *received unless that is null; closed connections are let go.
  void Drain(std::string* received = nullptr) {
    for (;;) {
      int peer = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (peer < 0) break;
      SetBigBuffers(peer);
      peers_.push_back(peer);
    }
    for (size_t i = 0; i < peers_.size();) {
      if (fuzzsupport::Drain(peers_[i], received)) {
        ++i;
      } else {
        close(peers_[i]);
        peers_.erase(peers_.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  // The connection accepted last, or -1.
  int Newest() {
    Drain();
    return peers_.empty() ? -1 : peers_.back();
  }
  // Sends to the connection accepted last, as much as fits without waiting; nothing when there is
  // none.
  void SendToNewest(std::string_view data) {
    const int peer = Newest();
    while (peer >= 0 && !data.empty()) {
      ssize_t n = send(peer, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      data.remove_prefix(static_cast<size_t>(n));
    }
  }
  // Closes the connection accepted last: an orderly close, or a reset.
  void CloseNewest(bool reset) {
    if (Newest() < 0) return;
    if (reset) {
      CloseWithReset(peers_.back());
    } else {
      close(peers_.back());
    }
    peers_.pop_back();
  }
  // Drops every connection with a reset.
  void Reset() {
    Drain();
    for (int peer : peers_) CloseWithReset(peer);
    peers_.clear();
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> peers_;
};

// A directory of the target's own under $TMPDIR, removed with everything in it at exit.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/zelk_fuzz_XXXXXX";
    Require(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

  // Writes (or rewrites) a file in the directory and returns its path.
  std::string Write(std::string_view name, std::string_view contents) const {
    std::string file = path_ + "/" + std::string(name);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    return file;
  }

 private:
  std::string path_;
};

}  // namespace fuzzsupport
