// Socket helpers for tests (loopback only).
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace testsupport {

// A connected AF_UNIX stream pair.
std::pair<int, int> SocketPair();
// A listening TCP socket on 127.0.0.1 with an ephemeral port (stored in *port).
int ListenLoopback(int* port);
// A listening TCP socket on 127.0.0.1 at the given port; -1 when the port is taken.
int ListenLoopbackAt(int port);
// Accepts one connection, waiting at most timeout_ms; -1 on time-out.
int AcceptWithin(int listen_fd, int timeout_ms);
// Whatever arrives within timeout_ms of the last byte (0: only what is there now).
std::string ReadAvailable(int fd, int timeout_ms);
void WriteAll(int fd, std::string_view data);

}  // namespace testsupport
