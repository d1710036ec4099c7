// Non-blocking TCP connect. A host name is looked up by getaddrinfo on a detached helper thread
// (the lookup itself cannot be interrupted); its answer comes back over a socket pair, so the
// waiting side watches a descriptor like any other. An abandoned lookup finishes on its own
// and its answer is dropped with the socket pair.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "platform/connecting.h"
#include "platform/host_names.h"

namespace platform {
namespace {

void LookUp(NameLookup lookup, std::string host, int answer_fd) {
  LookupAnswer answer;
  answer.found = lookup(host, answer.address) ? 1 : 0;
  // The waiting side may have given up and closed its end: the send then just fails.
  ssize_t sent;
  do {
    sent = send(answer_fd, &answer, sizeof answer, MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  close(answer_fd);
}

bool Ready(int fd, short events) {
  pollfd p{fd, events, 0};
  int n;
  do {
    n = poll(&p, 1, 0);
  } while (n < 0 && errno == EINTR);
  return n > 0;
}

class TcpConnectingImpl : public TcpConnecting {
 public:
  TcpConnectingImpl(std::string_view host, int port, NameLookup lookup) : port_(port) {
    if (IsRefusedHost(host)) {
      stage_ = Stage::kFailed;
      return;
    }
    const std::string name(host);
    in_addr numeric{};
    if (IsLocalhost(host)) {
      numeric.s_addr = htonl(INADDR_LOOPBACK);
      StartConnect(numeric);
      return;
    }
    if (inet_pton(AF_INET, name.c_str(), &numeric) == 1) {
      StartConnect(numeric);
      return;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) < 0) {
      stage_ = Stage::kFailed;
      return;
    }
    try {
      std::thread(LookUp, lookup, name, pair[1]).detach();
    } catch (const std::system_error&) {
      close(pair[0]);
      close(pair[1]);
      stage_ = Stage::kFailed;
      return;
    }
    fd_ = pair[0];
    stage_ = Stage::kResolving;
  }

  ~TcpConnectingImpl() override {
    if (fd_ >= 0) close(fd_);
  }

  Progress Continue() override {
    if (stage_ == Stage::kResolving) TakeAnswer();
    if (stage_ == Stage::kConnecting) FinishConnect();
    return ProgressOf(stage_);
  }

  int Fd() const override { return stage_ == Stage::kResolving || stage_ == Stage::kConnecting ? fd_ : -1; }

  std::unique_ptr<Transport> Take() override {
    if (stage_ != Stage::kConnected || fd_ < 0) return nullptr;
    const int fd = fd_;
    fd_ = -1;
    stage_ = Stage::kFailed;
    return OwnSocket(fd);
  }

 private:
  using Stage = ConnectStage;

  void Fail() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    stage_ = Stage::kFailed;
  }

  void TakeAnswer() {
    LookupAnswer answer;
    ssize_t n;
    do {
      n = recv(fd_, &answer, sizeof answer, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    close(fd_);
    fd_ = -1;
    if (n != static_cast<ssize_t>(sizeof answer) || !answer.found) {
      stage_ = Stage::kFailed;
      return;
    }
    in_addr address{};
    std::memcpy(&address, answer.address, 4);
    StartConnect(address);
  }

  void StartConnect(in_addr address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr = address;
    to.sin_port = htons(static_cast<uint16_t>(port_));
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd_ < 0) return Fail();
    stage_ = Stage::kConnecting;
    if (connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return Connected();
    if (errno != EINPROGRESS && errno != EINTR) Fail();
  }

  void FinishConnect() {
    if (!Ready(fd_, POLLOUT)) return;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) < 0 || error != 0) return Fail();
    Connected();
  }

  void Connected() {
    const int flags = fcntl(fd_, F_GETFL);
    if (flags < 0 || fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) < 0) return Fail();
    stage_ = Stage::kConnected;
  }

  int port_;
  int fd_ = -1;
  Stage stage_ = Stage::kFailed;
};

}  // namespace

bool SystemNameLookup(const std::string& host, unsigned char (&address)[4]) {
  if (RefusedByLookupGuard(host)) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const bool ok = getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found != nullptr;
  if (ok) std::memcpy(address, &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr, 4);
  if (found != nullptr) freeaddrinfo(found);
  return ok;
}

std::unique_ptr<TcpConnecting> StartTcpConnect(std::string_view host, int port, NameLookup lookup) {
  return std::make_unique<TcpConnectingImpl>(host, port, lookup);
}

}  // namespace platform
