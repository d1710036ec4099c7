// Time of day and waiting. Everything that waits goes through a Clock so that a test can run a
// door on a settable clock without sleeping.
#pragma once

#include <cstdint>
#include <span>

namespace platform {

// One descriptor to wait on; the results are filled in by Clock::Wait.
struct WaitFd {
  int fd = -1;
  bool want_read = true;
  bool want_write = false;
  bool readable = false;  // also set on hang-up and error, so that a read reports them
  bool writable = false;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Local wall-clock time of day in milliseconds, 0 to 86'399'999.
  virtual int64_t MsOfDay() = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual int64_t UnixSeconds() = 0;
  // Milliseconds from an arbitrary start on a clock that only moves forward, whatever happens to
  // the time of day (a daylight-saving change, a clock step): for measuring elapsed time.
  virtual int64_t MonotonicMs() = 0;
  virtual void Sleep(int ms) = 0;
  // Waits until one of fds is ready, a termination is requested, or timeout_ms passes
  // (negative: no time limit). Returns the number of ready descriptors. Once a termination has
  // been requested the wait no longer blocks.
  virtual int Wait(std::span<WaitFd> fds, int timeout_ms) = 0;
  // The BBS has asked the program to end (SIGTERM or SIGHUP on the system clock; a test's clock
  // raises it by hand). The door turns it into an orderly ending at its next tick.
  virtual bool TerminationRequested() { return false; }
};

// The system's local time and a real poll().
class SystemClock : public Clock {
 public:
  int64_t MsOfDay() override;
  int64_t UnixSeconds() override;
  int64_t MonotonicMs() override;
  void Sleep(int ms) override;
  int Wait(std::span<WaitFd> fds, int timeout_ms) override;
  bool TerminationRequested() override;
};

// Zero-time readiness poll of a set of descriptors, shared by the clocks.
int PollFds(std::span<WaitFd> fds, int timeout_ms);

}  // namespace platform
