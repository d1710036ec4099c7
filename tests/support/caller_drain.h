// Reads and discards what the door sends the caller, from its own thread, so that the door never
// waits for a slow caller; counts the bytes, and keeps the last few KiB for checks.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class CallerDrain {
 public:
  explicit CallerDrain(int fd);
  ~CallerDrain();
  CallerDrain(const CallerDrain&) = delete;
  CallerDrain& operator=(const CallerDrain&) = delete;

  size_t received() const { return received_; }
  // Waits until `total` bytes have arrived in all; false after timeout_ms.
  bool WaitForBytes(size_t total, int timeout_ms);
  // Waits until nothing more has arrived for quiet_ms (at most timeout_ms in all).
  void WaitForQuiet(int quiet_ms, int timeout_ms);
  // The last bytes received (up to 64 KiB).
  std::string Tail();

 private:
  std::atomic<bool> stop_{false};
  std::atomic<size_t> received_{0};
  std::mutex tail_mutex_;
  std::string tail_;  // guarded by tail_mutex_
  std::thread thread_;
};

}  // namespace testsupport
