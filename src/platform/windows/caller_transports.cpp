// The hand-overs beyond an inherited socket, on Windows: a connection back to the BBS over
// loopback TCP works as on Linux; standard input and output and Unix-domain sockets are not
// available (a Windows BBS hands its doors a socket).
#include "platform/caller_transports.h"

#include "platform/windows/wait_handles.h"

namespace platform {

std::unique_ptr<Transport> AdoptStdio() {
  return nullptr;  // not available on Windows: the visit ends with "No Carrier Detected"
}

std::unique_ptr<Transport> ConnectLoopbackPort(int port, int timeout_ms) {
  if (port < 1 || port > 65535) return nullptr;
  windows::EnsureWinsock();
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return nullptr;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  u_long mode = 1;
  ioctlsocket(s, FIONBIO, &mode);
  bool connected = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
    fd_set writes, errors;
    FD_ZERO(&writes);
    FD_ZERO(&errors);
    FD_SET(s, &writes);
    FD_SET(s, &errors);
    timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    connected = select(0, nullptr, &writes, &errors, &tv) == 1 && FD_ISSET(s, &writes);
  }
  mode = 0;
  if (!connected || ioctlsocket(s, FIONBIO, &mode) != 0) {
    closesocket(s);
    return nullptr;
  }
  return OwnSocket(windows::FromSocket(s));
}

std::unique_ptr<Transport> ConnectUnixPath(std::string_view, int) {
  return nullptr;  // not available on Windows
}

bool StdioCallersAvailable() {
  return false;
}

bool UnixPathCallersAvailable() {
  return false;
}

bool IsSocket(int fd) {
  if (fd < 0) return false;
  windows::EnsureWinsock();
  const SOCKET s = windows::ToSocket(fd);
  windows::RegisterInheritedSocketWithWine(s);
  int type = 0;
  int length = sizeof type;
  return getsockopt(s, SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length) == 0;
}

bool IsTerminal(int) {
  return false;  // a Windows BBS never hands over a terminal
}

}  // namespace platform
