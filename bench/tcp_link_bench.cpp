// Pushes bursts of IRC-sized lines through a socket pair into an adopted TcpLink, consumed the
// way the client's main loop does it (DataWaiting, TakeBuffer, a 1 ms sleep when idle). The time
// must grow in proportion to the burst: the ratio between the 10 MB and the 1 MB burst is ~10.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "net/tcp_link.h"
#include "platform/clock.h"

namespace {

constexpr size_t kLineLength = 146;  // including CR LF

void WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return;
    data.remove_prefix(static_cast<size_t>(n));
  }
}

struct Result {
  double ms = 0;
  bool ok = false;
};

Result RunBurst(size_t bytes) {
  std::string line(kLineLength - 2, 'x');
  line.replace(0, 26, ":nick!user@host PRIVMSG #c");
  line += "\r\n";
  size_t lines = bytes / kLineLength;
  std::string burst;
  burst.reserve(lines * kLineLength);
  for (size_t i = 0; i < lines; ++i) burst += line;
  const size_t expected = lines * (kLineLength - 1);

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return {};
  net::TcpLink link;
  link.Init();
  link.Adopt(fds[0]);
  platform::SystemClock clock;

  std::thread writer([&] { WriteAll(fds[1], burst); });
  // The clock starts with the first bytes, leaving the thread's start-up out of the figure.
  pollfd first{fds[0], POLLIN, 0};
  poll(&first, 1, -1);
  auto start = std::chrono::steady_clock::now();
  size_t received = 0;
  size_t line_ends = 0;
  bool clean = true;
  while (received < expected && link.IsOpen()) {
    if (link.DataWaiting()) {
      std::string chunk = link.TakeBuffer();
      received += chunk.size();
      for (char c : chunk) {
        if (c == '\r') ++line_ends;
        if (c == '\n') clean = false;
      }
    } else {
      clock.Sleep(1);
    }
  }
  double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  writer.join();
  link.Close(false);
  close(fds[0]);
  close(fds[1]);
  return {ms, clean && received == expected && line_ends == lines};
}

struct Best {
  double ms = 1e300;
  bool ok = true;
  void Add(const Result& r) {
    ms = std::min(ms, r.ms);
    ok = ok && r.ok;
  }
};

}  // namespace

int main() {
  const size_t kMb = 1024 * 1024;
  RunBurst(kMb);  // warm-up
  // A 1 MB run lasts about a millisecond, so one idle sleep of the consuming loop or a busy moment
  // of the machine doubles it: the sizes take turns and the best time of each counts.
  Best small, large;
  for (int round = 0; round < 15; ++round) {
    small.Add(RunBurst(kMb));
    large.Add(RunBurst(10 * kMb));
  }
  std::printf(" 1 MB: %8.2f ms  %7.1f MB/s\n", small.ms, 1000.0 / small.ms);
  std::printf("10 MB: %8.2f ms  %7.1f MB/s\n", large.ms, 10 * 1000.0 / large.ms);
  std::printf("ratio: %.2f\n", large.ms / small.ms);
  if (!small.ok || !large.ok) {
    std::printf("received data did not match what was sent\n");
    return 1;
  }
  return 0;
}
