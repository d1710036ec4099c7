// A settable clock for tests. Waits poll the real descriptors without blocking; when nothing is
// ready the clock jumps forward by the wait's timeout instead of sleeping.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "platform/clock.h"

namespace testsupport {

class FakeClock : public platform::Clock {
 public:
  explicit FakeClock(int64_t ms_of_day = 12 * 3600 * 1000LL) : ms_(ms_of_day) {}

  void SetMsOfDay(int64_t ms) { ms_ = ms % kDay; }
  void SetTime(int h, int m, int s) { ms_ = ((h * 3600LL + m * 60 + s) * 1000) % kDay; }
  // Time passes: the time of day, the date and the monotonic clock move on together.
  void Advance(int64_t ms) {
    unix_ms_ += ms;
    ms_ = (ms_ + ms) % kDay;
    monotonic_ms_ += ms;
  }
  // The wall clock is set forward or back (a daylight-saving change, a clock step); no time passes.
  void JumpWallClock(int64_t ms) {
    unix_ms_ += ms;
    ms_ = ((ms_ + ms) % kDay + kDay) % kDay;
  }
  void SetUnixSeconds(int64_t s) { unix_ms_ = s * 1000; }
  // Waits give real peers (a server doing a TLS handshake) up to ms of real time to answer
  // before the clock jumps; 0, the default, jumps at once.
  void GiveRealTime(int ms) { real_ms_ = ms; }
  int sleeps() const { return sleeps_; }
  int waits() const { return waits_; }
  int64_t slept_ms() const { return slept_ms_; }
  // What SIGTERM or SIGHUP does to the system clock.
  void RequestTermination() { termination_ = true; }

  int64_t MsOfDay() override { return ms_; }
  int64_t UnixSeconds() override { return unix_ms_ / 1000; }
  int64_t MonotonicMs() override { return monotonic_ms_; }
  void Sleep(int ms) override {
    ++sleeps_;
    slept_ms_ += ms;
    Advance(ms);
  }
  bool TerminationRequested() override { return termination_; }
  int Wait(std::span<platform::WaitFd> fds, int timeout_ms) override {
    ++waits_;
    int n = platform::PollFds(fds, 0);
    if (n > 0) return n;
    if (real_ms_ > 0 && timeout_ms > 0) {
      n = platform::PollFds(fds, timeout_ms < real_ms_ ? timeout_ms : real_ms_);
      if (n > 0) return n;
    }
    if (timeout_ms < 0) {
      // Nothing will ever arrive in a single-threaded test: give a helper thread a moment, then
      // fail instead of hanging.
      n = platform::PollFds(fds, 50);
      if (n > 0) return n;
      if (++idle_forever_ > 200) throw std::runtime_error("FakeClock: waiting forever with nothing to wake");
      return 0;
    }
    Advance(timeout_ms > 0 ? timeout_ms : 1);
    return 0;
  }

 private:
  static constexpr int64_t kDay = 86'400'000;
  int64_t ms_;
  int64_t unix_ms_ = 1'700'000'000'000LL;
  int64_t monotonic_ms_ = 5'000'000;  // any start: only differences count
  int sleeps_ = 0;
  int waits_ = 0;
  int64_t slept_ms_ = 0;
  int idle_forever_ = 0;
  bool termination_ = false;
  int real_ms_ = 0;
};

}  // namespace testsupport
