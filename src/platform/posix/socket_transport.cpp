// Transport over a POSIX stream descriptor: a TCP socket we connect ourselves, or a TCP or
// Unix-domain socket handed to us. A descriptor that turns out not to be a socket (a pipe or a
// terminal standing in for one) is served with read() and write().
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/connecting.h"
#include "platform/transport.h"

namespace platform {
namespace {

// write() to a pipe whose reader is gone raises SIGPIPE, and there is no MSG_NOSIGNAL for it:
// keep the signal blocked for the call and swallow one that the call itself raised.
long WriteWithoutSigpipe(int fd, const char* buf, size_t len) {
  sigset_t pipe_set, old_set;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  sigset_t pending;
  sigpending(&pending);
  bool was_pending = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
  ssize_t n;
  do {
    n = write(fd, buf, len);
  } while (n < 0 && errno == EINTR);
  if (n < 0 && errno == EPIPE && !was_pending) {
    int saved = errno;
    timespec zero{0, 0};
    while (sigtimedwait(&pipe_set, nullptr, &zero) < 0 && errno == EINTR) {
    }
    errno = saved;
  }
  pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
  return n;
}

Readiness PollOne(int fd, short events, int timeout_ms) {
  if (fd < 0) return Readiness::kError;
  pollfd p{fd, events, 0};
  int n = poll(&p, 1, timeout_ms);
  if (n < 0) return errno == EINTR ? Readiness::kTimeout : Readiness::kError;
  if (n == 0) return Readiness::kTimeout;
  if (p.revents & POLLNVAL) return Readiness::kError;
  // Hang-up and error count as ready: the following read or write reports them.
  return (p.revents & (events | POLLHUP | POLLERR)) ? Readiness::kReady : Readiness::kTimeout;
}

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

class SocketTransport : public Transport {
 public:
  // owned: we created the descriptor, so dropping the transport without Close still releases it.
  SocketTransport(int fd, bool owned) : fd_(fd), owned_(owned) {}
  ~SocketTransport() override {
    if (owned_ && fd_ >= 0) close(fd_);
  }

  int Fd() const override { return fd_; }
  Readiness WaitReadable(int timeout_ms) override {
    return PollOne(fd_, POLLIN, timeout_ms < 0 ? -1 : timeout_ms);
  }

  IoResult Recv(char* buf, size_t len) override {
    if (fd_ < 0) return IoResult::Of(IoStatus::kError);
    for (;;) {
      ssize_t n = is_socket_ ? recv(fd_, buf, len, 0) : read(fd_, buf, len);
      if (n > 0) return IoResult::Moved(static_cast<size_t>(n));
      if (n == 0) return IoResult::Of(IoStatus::kClosed);
      if (errno == EINTR) continue;
      if (errno == ENOTSOCK && is_socket_) {
        is_socket_ = false;
        continue;
      }
      // A descriptor left non-blocking by its owner: wait for data like a blocking one.
      if (WouldBlock(errno) && PollOne(fd_, POLLIN, -1) != Readiness::kError) continue;
      return IoResult::Failed(errno);
    }
  }

  // Every byte is written before this returns: a call cut short by a signal, a partial write and
  // a full buffer on a non-blocking descriptor all go on with the rest.
  IoResult Send(const char* buf, size_t len) override {
    if (fd_ < 0) return IoResult::Of(IoStatus::kError);
    size_t sent = 0;
    while (sent < len) {
      const long n = WriteSome(buf + sent, len - sent, /*flags=*/0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && WouldBlock(errno) && PollOne(fd_, POLLOUT, -1) != Readiness::kError) continue;
      return IoResult::Of(IoStatus::kError);
    }
    return IoResult::Moved(sent);
  }

  IoResult SendNow(const char* buf, size_t len) override {
    if (fd_ < 0) return IoResult::Of(IoStatus::kError);
    if (len == 0) return IoResult::Of(IoStatus::kWouldBlock);
    long n;
    do {
      n = WriteSome(buf, len, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n > 0) return IoResult::Moved(static_cast<size_t>(n));
    return IoResult::Of(n == 0 || WouldBlock(errno) ? IoStatus::kWouldBlock : IoStatus::kError);
  }

  IoResult RecvNow(char* buf, size_t len) override {
    if (fd_ < 0) return IoResult::Of(IoStatus::kError);
    if (is_socket_) {
      for (;;) {
        ssize_t n = recv(fd_, buf, len, MSG_DONTWAIT);
        if (n > 0) return IoResult::Moved(static_cast<size_t>(n));
        if (n == 0) return IoResult::Of(IoStatus::kClosed);
        if (errno == EINTR) continue;
        if (WouldBlock(errno)) return IoResult::Of(IoStatus::kWouldBlock);
        if (errno != ENOTSOCK) return IoResult::Failed(errno);
        is_socket_ = false;
        break;
      }
    }
    const Readiness ready = PollOne(fd_, POLLIN, 0);
    if (ready != Readiness::kReady) {
      return IoResult::Of(ready == Readiness::kError ? IoStatus::kError : IoStatus::kWouldBlock);
    }
    return Recv(buf, len);
  }

  void SetBlocking(bool blocking) override {
    if (fd_ < 0) return;
    int flags = fcntl(fd_, F_GETFL);
    if (flags < 0) return;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    fcntl(fd_, F_SETFL, flags);
  }

  void Close(bool shutdown_socket) override {
    if (fd_ < 0) return;
    if (shutdown_socket && is_socket_) shutdown(fd_, SHUT_RDWR);
    // The door's own connection is released either way; an adopted one only when asked.
    if (shutdown_socket || owned_) close(fd_);
    fd_ = -1;
  }

 private:
  // One send() or write() of up to len bytes, as the system call returns it (errno set on -1).
  // flags MSG_DONTWAIT: without waiting, also on a pipe or terminal, whose descriptor is made
  // non-blocking only for the length of the call.
  long WriteSome(const char* buf, size_t len, int flags) {
    if (is_socket_) {
      const ssize_t n = send(fd_, buf, len, MSG_NOSIGNAL | flags);
      if (n >= 0 || errno != ENOTSOCK) return n;
      is_socket_ = false;
    }
    if (flags == 0) return WriteWithoutSigpipe(fd_, buf, len);
    const int mode = fcntl(fd_, F_GETFL);
    if (mode < 0) return -1;
    if (!(mode & O_NONBLOCK)) fcntl(fd_, F_SETFL, mode | O_NONBLOCK);
    const long n = WriteWithoutSigpipe(fd_, buf, len);
    const int saved = errno;
    if (!(mode & O_NONBLOCK)) fcntl(fd_, F_SETFL, mode);
    errno = saved;
    return n;
  }

  int fd_;
  bool owned_;
  bool is_socket_ = true;  // cleared on the first ENOTSOCK
};

}  // namespace

std::string ErrorText(int error) {
  if (error == 0) return {};
  return std::strerror(error);
}

std::unique_ptr<Transport> AdoptSocket(int fd) {
  if (fd < 0) return nullptr;
  return std::make_unique<SocketTransport>(fd, /*owned=*/false);
}

std::unique_ptr<Transport> OwnSocket(int fd) {
  if (fd < 0) return nullptr;
  return std::make_unique<SocketTransport>(fd, /*owned=*/true);
}

}  // namespace platform
