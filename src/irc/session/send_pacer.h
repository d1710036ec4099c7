// Pacing of the lines a caller types, so that a paste does not get the door disconnected for
// flooding: a burst of up to kBurst lines goes at once, then one line every kIntervalMs. Lines that
// must not wait (PONG, QUIT, registration) bypass it. The queue is bounded; a line that finds it
// full is dropped and counted, so that the caller can be told how many were.
//
// Times are milliseconds on the door's monotonic clock (a wrap at midnight, as times of day would
// have, still counts as time going on).
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace irc {

class SendPacer {
 public:
  static constexpr int kBurst = 5;
  static constexpr int64_t kIntervalMs = 2000;
  static constexpr size_t kMaxQueued = 32;

  // Appends a line; it leaves by TakeDue, possibly at once. False when the queue is full: the
  // line is dropped and counted.
  bool Push(std::string line, int64_t ms_of_day);
  // Whether `count` more lines fit the queue now. When they do not, all of them count as dropped
  // and the owner sends none of them (the lines of one message go together or not at all).
  bool Admit(size_t count);
  // The lines dropped since the last call.
  size_t TakeDropped();
  // The next line that may be sent at this moment, in order; false when none may go yet.
  bool TakeDue(int64_t ms_of_day, std::string* line);
  // Milliseconds until the next queued line may go (0: now), or -1 when nothing is queued, so an
  // empty queue never wakes the door.
  int64_t MsUntilDue(int64_t ms_of_day);
  // Forgets queued lines and the pace so far: a new connection starts with a full burst. The
  // count of dropped lines stays until it is taken.
  void Reset();

  size_t queued() const { return lines_.size(); }

 private:
  void Advance(int64_t ms_of_day);

  std::deque<std::string> lines_;
  // How far the lines sent so far run ahead of the clock, at kIntervalMs each; a line may go
  // while this is at most (kBurst - 1) intervals.
  int64_t ahead_ms_ = 0;
  int64_t last_ms_ = -1;
  size_t dropped_ = 0;
};

}  // namespace irc
