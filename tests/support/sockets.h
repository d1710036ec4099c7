// Socket helpers for tests (loopback only).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

// A connected stream pair (AF_UNIX; loopback TCP on Windows).
std::pair<int, int> SocketPair();
// A listening TCP socket on 127.0.0.1 with an ephemeral port (stored in *port).
int ListenLoopback(int* port);
// A listening TCP socket on 127.0.0.1 at the given port; -1 when the port is taken.
int ListenLoopbackAt(int port);
// A TCP connection to 127.0.0.1:port (blocking); -1 when it is refused.
int ConnectLoopback(int port);
// Accepts one connection, waiting at most timeout_ms; -1 on time-out.
int AcceptWithin(int listen_fd, int timeout_ms);
// Whatever arrives within timeout_ms of the last byte (0: only what is there now).
std::string ReadAvailable(int fd, int timeout_ms);

// What a code page 437 BBS terminal answers to the door's charset probe: the cursor stands in
// column 4, after the three glyphs it drew for the UTF-8 bytes EF BB BF. A UTF-8 terminal would
// answer column 1.
inline constexpr std::string_view kCp437ProbeAnswer = "\x1b[1;4R";
inline constexpr std::string_view kUtf8ProbeAnswer = "\x1b[1;1R";
// Answers the probe once it is among the bytes received (answer empty: a terminal that stays
// silent); answered is set once done.
void AnswerCharsetProbe(int fd, std::string_view received, std::string_view answer, bool& answered);
void WriteAll(int fd, std::string_view data);
// Closes a socket from this file's helpers.
void CloseSocket(int fd);
// A port on 127.0.0.1 that refuses connections: one that was bound a moment ago and released.
inline int RefusingPort() {
  int port = 0;
  CloseSocket(ListenLoopback(&port));
  return port;
}

// A loopback port that takes no more connections: its listening socket has a backlog of 0 and
// its accept queue is filled by connections of its own, so a further connect is never answered
// (the system drops its SYN) until the object is gone.
class FullListener {
 public:
  FullListener();
  ~FullListener();
  FullListener(const FullListener&) = delete;
  FullListener& operator=(const FullListener&) = delete;
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace testsupport
