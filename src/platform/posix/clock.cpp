#include "platform/clock.h"

#include <poll.h>
#include <sys/time.h>
#include <time.h>

#include <cerrno>
#include <vector>

#include "platform/signals.h"

namespace platform {

int64_t SystemClock::MsOfDay() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  time_t secs = ts.tv_sec;
  localtime_r(&secs, &local);
  return (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * int64_t{1000} + ts.tv_nsec / 1'000'000;
}

int64_t SystemClock::UnixSeconds() {
  return static_cast<int64_t>(time(nullptr));
}

int64_t SystemClock::MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * int64_t{1000} + ts.tv_nsec / 1'000'000;
}

void SystemClock::Sleep(int ms) {
  if (ms <= 0) return;
  timespec ts{ms / 1000, (ms % 1000) * 1'000'000L};
  while (nanosleep(&ts, &ts) == -1 && errno == EINTR) {
  }
}

int SystemClock::Wait(std::span<WaitFd> fds, int timeout_ms) {
  return PollFds(fds, TerminationRequested() ? 0 : timeout_ms);
}

bool SystemClock::TerminationRequested() {
  return TerminationSignalled();
}

int PollFds(std::span<WaitFd> fds, int timeout_ms) {
  pollfd small[8];
  std::vector<pollfd> big;
  pollfd* p = small;
  if (fds.size() > 8) {
    big.resize(fds.size());
    p = big.data();
  }
  for (size_t i = 0; i < fds.size(); ++i) {
    p[i].fd = fds[i].fd;  // a negative descriptor is skipped by poll()
    p[i].events = static_cast<short>((fds[i].want_read ? POLLIN : 0) | (fds[i].want_write ? POLLOUT : 0));
    p[i].revents = 0;
    fds[i].readable = fds[i].writable = false;
  }
  int n = poll(p, fds.size(), timeout_ms);
  if (n <= 0) return 0;
  int ready = 0;
  for (size_t i = 0; i < fds.size(); ++i) {
    short r = p[i].revents;
    fds[i].readable = (r & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0 && fds[i].want_read;
    fds[i].writable = (r & (POLLOUT | POLLERR | POLLHUP)) != 0 && fds[i].want_write;
    if (fds[i].readable || fds[i].writable) ++ready;
  }
  return ready;
}

}  // namespace platform
