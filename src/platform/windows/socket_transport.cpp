// Transport over a Winsock stream socket: a TCP socket we connect ourselves, or the caller's
// socket that the BBS started us with (an inherited handle).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>

#include "platform/connecting.h"
#include "platform/transport.h"
#include "platform/windows/wait_handles.h"

namespace platform {
namespace windows {

void EnsureWinsock() {
  struct Session {
    Session() {
      WSADATA data;
      WSAStartup(MAKEWORD(2, 0), &data);
    }
    ~Session() { WSACleanup(); }
  };
  static const Session session;
}

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void RegisterInheritedSocketWithWine(SOCKET s) {
  int type = 0;
  int len = sizeof type;
  if (getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &len) == 0) return;
  if (WSAGetLastError() != WSAENOTSOCK || !RunningUnderWine()) return;
  WSAPROTOCOL_INFOW info{};
  info.dwServiceFlags4 = 0xff00ff00;  // "dwServiceFlags3 holds a socket handle"
  info.dwServiceFlags3 = static_cast<DWORD>(s);
  WSASocketW(FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, FROM_PROTOCOL_INFO, &info, 0, 0);
}

SocketPair LoopbackSocketPair() {
  EnsureWinsock();
  SocketPair pair;
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return pair;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      listen(listener, 1) == 0 &&
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    pair.first = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (pair.first != INVALID_SOCKET &&
        connect(pair.first, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      pair.second = accept(listener, nullptr, nullptr);
    }
  }
  closesocket(listener);
  if (pair.second == INVALID_SOCKET) {
    if (pair.first != INVALID_SOCKET) closesocket(pair.first);
    return {};
  }
  for (SOCKET s : {pair.first, pair.second})
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return pair;
}

bool SocketReady(SOCKET s, bool for_write) {
  fd_set ready, errors;
  FD_ZERO(&ready);
  FD_ZERO(&errors);
  FD_SET(s, &ready);
  FD_SET(s, &errors);
  timeval zero{0, 0};
  const int n = select(0, for_write ? nullptr : &ready, for_write ? &ready : nullptr, &errors, &zero);
  return n != 0;  // ready, an error condition, or a select error: the next call reports it
}

}  // namespace windows

namespace {

Readiness SelectOne(SOCKET s, int timeout_ms, bool for_write = false) {
  fd_set ready, errors;
  FD_ZERO(&ready);
  FD_ZERO(&errors);
  FD_SET(s, &ready);
  FD_SET(s, &errors);
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  const int n = select(0, for_write ? nullptr : &ready, for_write ? &ready : nullptr, &errors,
                       timeout_ms < 0 ? nullptr : &tv);
  if (n == SOCKET_ERROR) return Readiness::kError;
  // An error condition counts as ready: the read or write reports it.
  return n > 0 ? Readiness::kReady : Readiness::kTimeout;
}

bool WouldBlock() {
  return WSAGetLastError() == WSAEWOULDBLOCK;
}

class SocketTransport : public Transport {
 public:
  // owned: we created the socket, so dropping the transport without Close still releases it.
  SocketTransport(SOCKET s, bool owned) : socket_(s), owned_(owned) {}
  ~SocketTransport() override {
    if (owned_ && socket_ != INVALID_SOCKET) closesocket(socket_);
  }

  int Fd() const override { return windows::FromSocket(socket_); }
  Readiness WaitReadable(int timeout_ms) override {
    return socket_ == INVALID_SOCKET ? Readiness::kError : SelectOne(socket_, timeout_ms);
  }

  IoResult Recv(char* buf, size_t len) override {
    if (socket_ == INVALID_SOCKET) return IoResult::Of(IoStatus::kError);
    const int n = recv(socket_, buf, Clamp(len), 0);
    return Received(n, /*would_block=*/false);
  }

  // Every byte is written before this returns: a partial write and a full buffer on a
  // non-blocking socket go on with the rest.
  IoResult Send(const char* buf, size_t len) override {
    if (socket_ == INVALID_SOCKET) return IoResult::Of(IoStatus::kError);
    size_t sent = 0;
    while (sent < len) {
      const int n = send(socket_, buf + sent, Clamp(len - sent), 0);
      if (n > 0) {
        sent += static_cast<size_t>(n);
        continue;
      }
      if (n == SOCKET_ERROR && WouldBlock() &&
          SelectOne(socket_, -1, /*for_write=*/true) != Readiness::kError)
        continue;
      return IoResult::Of(IoStatus::kError);
    }
    return IoResult::Moved(sent);
  }

  // Winsock has no per-call "do not wait" flag: the socket is non-blocking for the call only.
  IoResult SendNow(const char* buf, size_t len) override {
    if (socket_ == INVALID_SOCKET) return IoResult::Of(IoStatus::kError);
    NonBlockingScope scope(*this);
    const int n = send(socket_, buf, Clamp(len), 0);
    if (n > 0) return IoResult::Moved(static_cast<size_t>(n));
    return IoResult::Of(n == 0 || WouldBlock() ? IoStatus::kWouldBlock : IoStatus::kError);
  }

  IoResult RecvNow(char* buf, size_t len) override {
    if (socket_ == INVALID_SOCKET) return IoResult::Of(IoStatus::kError);
    const Readiness ready = SelectOne(socket_, 0);
    if (ready != Readiness::kReady) {
      return IoResult::Of(ready == Readiness::kError ? IoStatus::kError : IoStatus::kWouldBlock);
    }
    NonBlockingScope scope(*this);
    const int n = recv(socket_, buf, Clamp(len), 0);
    return Received(n, WouldBlock());
  }

  void SetBlocking(bool blocking) override {
    if (socket_ == INVALID_SOCKET) return;
    blocking_ = blocking;
    u_long non_blocking = blocking ? 0 : 1;
    ioctlsocket(socket_, FIONBIO, &non_blocking);
  }

  void Close(bool shutdown_socket) override {
    if (socket_ == INVALID_SOCKET) return;
    if (shutdown_socket) shutdown(socket_, SD_BOTH);
    // The door's own connection is released either way; an adopted one only when asked.
    if (shutdown_socket || owned_) closesocket(socket_);
    socket_ = INVALID_SOCKET;
  }

 private:
  static IoResult Received(int n, bool would_block) {
    if (n > 0) return IoResult::Moved(static_cast<size_t>(n));
    if (n == 0) return IoResult::Of(IoStatus::kClosed);
    return would_block ? IoResult::Of(IoStatus::kWouldBlock) : IoResult::Failed(WSAGetLastError());
  }

  class NonBlockingScope {
   public:
    explicit NonBlockingScope(SocketTransport& t) : t_(t) {
      if (t_.blocking_) Set(1);
    }
    ~NonBlockingScope() {
      if (t_.blocking_) Set(0);
    }

   private:
    void Set(u_long value) { ioctlsocket(t_.socket_, FIONBIO, &value); }
    SocketTransport& t_;
  };

  static int Clamp(size_t len) { return len > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(len); }

  SOCKET socket_;
  bool owned_;
  bool blocking_ = true;  // sockets start blocking; the door never changes that
};

}  // namespace

std::string ErrorText(int error) {
  if (error == 0) return {};
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string out(text, length);
  while (!out.empty() && (out.back() == '\r' || out.back() == '\n' || out.back() == '.' || out.back() == ' '))
    out.pop_back();
  return out.empty() ? "Error " + std::to_string(error) : out;
}

std::unique_ptr<Transport> AdoptSocket(int fd) {
  if (fd < 0) return nullptr;
  windows::EnsureWinsock();
  const SOCKET s = windows::ToSocket(fd);
  windows::RegisterInheritedSocketWithWine(s);
  return std::make_unique<SocketTransport>(s, /*owned=*/false);
}

std::unique_ptr<Transport> OwnSocket(int fd) {
  if (fd < 0) return nullptr;
  windows::EnsureWinsock();
  return std::make_unique<SocketTransport>(windows::ToSocket(fd), /*owned=*/true);
}

}  // namespace platform
