#include "platform/caller_transports.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {
namespace {

// Keys from one descriptor, the screen to another (or the same one); each served by the socket
// transport, which falls back to read() and write() for a descriptor that is not a socket.
class SplitTransport : public Transport {
 public:
  SplitTransport(std::unique_ptr<Transport> in, std::unique_ptr<Transport> out)
      : in_(std::move(in)), out_(std::move(out)) {}

  int Fd() const override { return in_->Fd(); }
  int WriteFd() const override { return out_->Fd(); }
  Readiness WaitReadable(int timeout_ms) override { return in_->WaitReadable(timeout_ms); }
  IoResult Recv(char* buf, size_t len) override { return in_->Recv(buf, len); }
  IoResult Send(const char* buf, size_t len) override { return out_->Send(buf, len); }
  IoResult SendNow(const char* buf, size_t len) override { return out_->SendNow(buf, len); }
  IoResult RecvNow(char* buf, size_t len) override { return in_->RecvNow(buf, len); }
  void SetBlocking(bool blocking) override {
    in_->SetBlocking(blocking);
    out_->SetBlocking(blocking);
  }
  void Close(bool) override {
    // Standard input and output belong to the process, not to the visit: never closed here.
    in_->Close(false);
    out_->Close(false);
  }

 private:
  std::unique_ptr<Transport> in_;
  std::unique_ptr<Transport> out_;
};

// A stream socket connected to address within timeout_ms, or -1.
int ConnectWithin(int family, const sockaddr* address, socklen_t length, int timeout_ms) {
  const int fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int result = connect(fd, address, length);
  if (result != 0 && (errno == EINPROGRESS || errno == EINTR || errno == EAGAIN)) {
    pollfd p{fd, POLLOUT, 0};
    int n;
    do {
      n = poll(&p, 1, timeout_ms);
    } while (n < 0 && errno == EINTR);
    int error = 0;
    socklen_t error_length = sizeof error;
    if (n == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &error_length) == 0 && error == 0) result = 0;
  }
  if (result != 0) {
    close(fd);
    return -1;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::unique_ptr<Transport> AdoptStdio() {
  return std::make_unique<SplitTransport>(AdoptSocket(STDIN_FILENO), AdoptSocket(STDOUT_FILENO));
}

std::unique_ptr<Transport> ConnectLoopbackPort(int port, int timeout_ms) {
  if (port < 1 || port > 65535) return nullptr;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int fd =
      ConnectWithin(AF_INET, reinterpret_cast<const sockaddr*>(&address), sizeof address, timeout_ms);
  if (fd < 0) return nullptr;
  return OwnSocket(fd);
}

std::unique_ptr<Transport> ConnectUnixPath(std::string_view path, int timeout_ms) {
  sockaddr_un address{};
  // The path and its terminating NUL must fit; a NUL inside would name another socket.
  if (path.empty() || path.size() >= sizeof address.sun_path || path.find('\0') != std::string_view::npos)
    return nullptr;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.data(), path.size());
  const int fd =
      ConnectWithin(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), sizeof address, timeout_ms);
  if (fd < 0) return nullptr;
  return OwnSocket(fd);
}

bool StdioCallersAvailable() {
  return true;
}

bool UnixPathCallersAvailable() {
  return true;
}

bool IsSocket(int fd) {
  struct stat st {};
  return fd >= 0 && fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

bool IsTerminal(int fd) {
  return fd >= 0 && isatty(fd) == 1;
}

}  // namespace platform
