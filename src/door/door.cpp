#include "door/door.h"

#include <algorithm>
#include <utility>

#include "platform/caller_terminal.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/terminal.h"

namespace door {

Door::Door(DoorEnv env) : env_(std::move(env)) {}

Door::~Door() = default;

void Door::DoorInit() {
  caller.Init();
  // Keys are taken from the caller's buffer one at a time: a paste waits in the socket, not here.
  caller.SetReadLimit(kCallerReadLimit);
  SetUpOutputQueue();
}

void Door::Present() {
  if (env_.terminal != nullptr) env_.terminal->Present(env_.console);
}

void Door::Delay(int ms) {
  Present();
  // What was written before the pause (a goodbye) reaches the caller during it.
  const int spent = DrainOutput(ms);
  env_.clock.Sleep(ms - spent);
}

void Door::WaitForEvent(std::span<platform::WaitFd> extra, int64_t max_wait_ms) {
  FlushOutput();
  Present();
  wait_fds_.clear();
  int key_index = -1;
  // Input already buffered must not be slept on; normally the key test has returned it before.
  const bool pending = env_.console.KeyPressed() || (visit.HasCaller() && !caller.Buffer().empty());
  // A closed link is left out: its end of stream has been seen, and the tick reports the loss.
  const bool caller_open = visit.HasCaller() && caller.IsOpen();
  const bool want_read = caller_open && caller.Buffer().empty();
  const bool want_write = caller_open && caller.HasQueued();
  // Keys and screen may be two descriptors (standard input and output).
  const bool split = caller.WriteFd() != caller.Fd();
  const int caller_index = want_read || (want_write && !split) ? static_cast<int>(wait_fds_.size()) : -1;
  if (caller_index >= 0)
    wait_fds_.push_back({.fd = caller.Fd(), .want_read = want_read, .want_write = want_write && !split});
  const int write_index = want_write && split ? static_cast<int>(wait_fds_.size()) : -1;
  if (write_index >= 0) wait_fds_.push_back({.fd = caller.WriteFd(), .want_read = false, .want_write = true});
  if (env_.terminal != nullptr) {
    key_index = static_cast<int>(wait_fds_.size());
    wait_fds_.push_back({.fd = env_.terminal->KeyFd()});
  }
  const size_t extra_start = wait_fds_.size();
  wait_fds_.insert(wait_fds_.end(), extra.begin(), extra.end());

  int timeout_ms = -1;
  if (timers.active || timers.status_only) {
    // The tick fires once more than kTickMs have passed.
    const int64_t now = MonotonicMs();
    const int64_t elapsed = now - timers.last_tick;
    int64_t wait = std::clamp<int64_t>(kTickMs + 1 - elapsed, 0, kTickMs + 1);
    // Without a sysop's terminal nobody sees the status line, and a lost carrier wakes the wait
    // by itself: only the idle and time limits need the clock, so the door sleeps until one of
    // them is due.
    if (env_.sleep_when_unwatched && env_.terminal == nullptr && caller_open) {
      wait = std::max(wait, MsUntilLimitDue(now));
    }
    timeout_ms = static_cast<int>(wait);
  }
  if (max_wait_ms >= 0 && (timeout_ms < 0 || max_wait_ms < timeout_ms))
    timeout_ms = static_cast<int>(max_wait_ms);
  if (pending) timeout_ms = 0;

  env_.clock.Wait(wait_fds_, timeout_ms);

  std::copy(wait_fds_.begin() + static_cast<std::ptrdiff_t>(extra_start), wait_fds_.end(), extra.begin());
  if (key_index >= 0 && wait_fds_[key_index].readable) env_.terminal->PumpKeys(env_.console);
  if ((caller_index >= 0 && wait_fds_[caller_index].writable) ||
      (write_index >= 0 && wait_fds_[write_index].writable))
    FlushOutput();
}

int64_t Door::MsUntilLimitDue(int64_t now) {
  constexpr int64_t kLongest = 3'600'000;  // wake at least hourly
  int64_t due = kLongest;
  if (on_idle_timeout) {
    // The idle check fires once more than idle_limit whole seconds have passed.
    due = std::min(due, (timers.idle_limit + int64_t{1}) * 1000 - (now - timers.idle_start));
  }
  if (on_time_expired) due = std::min(due, visit.time_left * int64_t{1000} - (now - timers.session_start));
  return std::max<int64_t>(due, 0);
}

void Door::AddExitProc(Hook proc) {
  exit_procs_.push_back(std::move(proc));
}

void Door::RunExitProcs() {
  // Taken off the list before it runs, so that each runs once even if one ends the program again.
  while (!exit_procs_.empty()) {
    Hook proc = std::move(exit_procs_.back());
    exit_procs_.pop_back();
    if (proc) proc();
  }
}

}  // namespace door
