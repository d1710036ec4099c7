#include "support/caller_drain.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kTailBytes = 64 * 1024;

int MsSince(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

}  // namespace

CallerDrain::CallerDrain(int fd)
    : thread_([this, fd] {
        char buf[65536];
        while (!stop_) {
          pollfd p{fd, POLLIN, 0};
          if (poll(&p, 1, 20) <= 0) continue;
          const ssize_t n = recv(fd, buf, sizeof buf, 0);
          if (n <= 0) return;
          {
            std::lock_guard<std::mutex> lock(tail_mutex_);
            tail_.append(buf, static_cast<size_t>(n));
            if (tail_.size() > 2 * kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
          }
          received_ += static_cast<size_t>(n);
        }
      }) {}

CallerDrain::~CallerDrain() {
  stop_ = true;
  thread_.join();
}

bool CallerDrain::WaitForBytes(size_t total, int timeout_ms) {
  for (auto start = Clock::now(); received_ < total && MsSince(start) < timeout_ms;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return received_ >= total;
}

void CallerDrain::WaitForQuiet(int quiet_ms, int timeout_ms) {
  size_t seen = received_;
  auto last_change = Clock::now();
  for (auto start = Clock::now(); MsSince(last_change) < quiet_ms && MsSince(start) < timeout_ms;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (received_ != seen) {
      seen = received_;
      last_change = Clock::now();
    }
  }
}

std::string CallerDrain::Tail() {
  std::lock_guard<std::mutex> lock(tail_mutex_);
  return tail_.size() > kTailBytes ? tail_.substr(tail_.size() - kTailBytes) : tail_;
}

}  // namespace testsupport
