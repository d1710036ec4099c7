// Non-blocking TCP connect with Winsock. A host name is looked up by getaddrinfo on a detached
// helper thread (the lookup itself cannot be interrupted); its answer comes back over a loopback
// socket pair, so the waiting side watches a socket like any other. An abandoned lookup finishes
// on its own and its answer is dropped with the pair.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "platform/connecting.h"
#include "platform/host_names.h"
#include "platform/windows/wait_handles.h"

namespace platform {
namespace {

void LookUp(NameLookup lookup, std::string host, SOCKET answer_socket) {
  LookupAnswer answer;
  answer.found = lookup(host, answer.address) ? 1 : 0;
  // The waiting side may have given up and closed its end: the send then just fails.
  send(answer_socket, reinterpret_cast<const char*>(&answer), sizeof answer, 0);
  closesocket(answer_socket);
}

class TcpConnectingImpl : public TcpConnecting {
 public:
  TcpConnectingImpl(std::string_view host, int port, NameLookup lookup) : port_(port) {
    windows::EnsureWinsock();
    if (IsRefusedHost(host)) return;
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
    const windows::SocketPair pair = windows::LoopbackSocketPair();
    if (pair.first == INVALID_SOCKET) return;
    try {
      std::thread(LookUp, lookup, name, pair.second).detach();
    } catch (const std::system_error&) {
      closesocket(pair.first);
      closesocket(pair.second);
      return;
    }
    socket_ = pair.first;
    stage_ = Stage::kResolving;
  }

  ~TcpConnectingImpl() override {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
  }

  Progress Continue() override {
    if (stage_ == Stage::kResolving) TakeAnswer();
    if (stage_ == Stage::kConnecting) FinishConnect();
    return ProgressOf(stage_);
  }

  int Fd() const override {
    return stage_ == Stage::kResolving || stage_ == Stage::kConnecting ? windows::FromSocket(socket_) : -1;
  }

  std::unique_ptr<Transport> Take() override {
    if (stage_ != Stage::kConnected || socket_ == INVALID_SOCKET) return nullptr;
    const SOCKET s = socket_;
    socket_ = INVALID_SOCKET;
    stage_ = Stage::kFailed;
    return OwnSocket(windows::FromSocket(s));
  }

 private:
  using Stage = ConnectStage;

  void Fail() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
    stage_ = Stage::kFailed;
  }

  void TakeAnswer() {
    if (!windows::SocketReady(socket_, /*for_write=*/false)) return;
    LookupAnswer answer;
    const int n = recv(socket_, reinterpret_cast<char*>(&answer), sizeof answer, MSG_WAITALL);
    closesocket(socket_);
    socket_ = INVALID_SOCKET;
    if (n != static_cast<int>(sizeof answer) || !answer.found) {
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
    to.sin_port = htons(static_cast<u_short>(port_));
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) return Fail();
    SetHandleInformation(reinterpret_cast<HANDLE>(socket_), HANDLE_FLAG_INHERIT, 0);
    u_long non_blocking = 1;
    if (ioctlsocket(socket_, FIONBIO, &non_blocking) != 0) return Fail();
    stage_ = Stage::kConnecting;
    if (connect(socket_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0) return Connected();
    if (WSAGetLastError() != WSAEWOULDBLOCK) Fail();
  }

  void FinishConnect() {
    if (!windows::SocketReady(socket_, /*for_write=*/true)) return;
    int error = 0;
    int length = sizeof error;
    if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 ||
        error != 0) {
      return Fail();
    }
    Connected();
  }

  void Connected() {
    u_long blocking = 0;  // as a plain connect leaves it
    if (ioctlsocket(socket_, FIONBIO, &blocking) != 0) return Fail();
    stage_ = Stage::kConnected;
  }

  int port_;
  SOCKET socket_ = INVALID_SOCKET;
  Stage stage_ = Stage::kFailed;
};

}  // namespace

bool SystemNameLookup(const std::string& host, unsigned char (&address)[4]) {
  if (RefusedByLookupGuard(host)) return false;
  windows::EnsureWinsock();
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
