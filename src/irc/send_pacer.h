// Pacing of the lines a caller types, so that a paste does not get the door disconnected for
// flooding: a burst of up to kBurst lines goes at once, then one line every kIntervalMs. Lines that
// must not wait (PONG, QUIT, registration) bypass it. The queue is bounded; a line that finds it
// full is dropped, and the first drop of a run says so.
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

  enum class Pushed {
    kQueued,
    kDropped,         // the queue is full: the first line dropped since it last had room
    kDroppedQuietly,  // dropped again before any line left the queue
  };

  // Appends a line; it leaves by TakeDue, possibly at once.
  Pushed Push(std::string line, int64_t ms_of_day);
  // The next line that may be sent at this moment, in order; false when none may go yet.
  bool TakeDue(int64_t ms_of_day, std::string* line);
  // Milliseconds until the next queued line may go (0: now), or -1 when nothing is queued, so an
  // empty queue never wakes the door.
  int64_t MsUntilDue(int64_t ms_of_day);
  // Forgets queued lines and the pace so far: a new connection starts with a full burst.
  void Reset();

  size_t queued() const { return lines_.size(); }

 private:
  void Advance(int64_t ms_of_day);

  std::deque<std::string> lines_;
  // How far the lines sent so far run ahead of the clock, at kIntervalMs each; a line may go
  // while this is at most (kBurst - 1) intervals.
  int64_t ahead_ms_ = 0;
  int64_t last_ms_ = -1;
  bool dropping_ = false;
};

}  // namespace irc
