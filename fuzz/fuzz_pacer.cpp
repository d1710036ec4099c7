// The pacing queue of typed lines driven by any sequence of its operations on a clock that moves
// on (across midnight too), checked against what it promises: the queue never holds more than
// its bound, lines leave in the order they came, none is lost except those counted as dropped or
// forgotten on a reset, no line leaves before its time (a burst, then one line per interval), a
// line whose time has come is not held back, and the wait it announces is the wait there is.
//
// Input: operation bytes. Low three bits: the operation (push, admit a message of several lines,
// take the dropped count, take due lines, ask the wait, reset, let time pass); the high bits and
// the next byte give its size.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "irc/session/send_pacer.h"

namespace {

using irc::SendPacer;

constexpr int64_t kDayMs = 86'400'000;
constexpr int64_t kMaxStepMs = kDayMs - 1;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

class Check {
 public:
  explicit Check(int64_t start_ms) : now_(start_ms) {}

  void Push() {
    const uint64_t id = next_id_++;
    if (pacer_.Push(std::to_string(id), MsOfDay())) {
      queued_.push_back(id);
    } else {
      if (queued_.size() < SendPacer::kMaxQueued) Fail("a line was refused with room in the queue");
      ++dropped_;
    }
    CheckBound();
  }

  void Admit(size_t count) {
    const bool fits = queued_.size() + count <= SendPacer::kMaxQueued;
    if (pacer_.Admit(count) != fits) Fail("a message admitted otherwise than the room in the queue says");
    if (!fits) {
      dropped_ += count;
      return;
    }
    // The owner then pushes the message's lines; none may be refused.
    for (size_t i = 0; i < count; ++i) {
      const uint64_t id = next_id_++;
      if (!pacer_.Push(std::to_string(id), MsOfDay())) Fail("a line of an admitted message was refused");
      queued_.push_back(id);
    }
    CheckBound();
  }

  void TakeDropped() {
    if (pacer_.TakeDropped() != dropped_) Fail("the dropped count is not the lines dropped");
    dropped_ = 0;
  }

  // Takes every line due now, as the door's loop does.
  void TakeDue() {
    std::string line;
    while (pacer_.TakeDue(MsOfDay(), &line)) {
      if (queued_.empty()) Fail("a line left that nobody queued");
      if (line != std::to_string(queued_.front())) Fail("lines left out of order");
      queued_.pop_front();
      CheckPace();
      sent_.push_back(now_);
      if (sent_.size() > SendPacer::kBurst) sent_.erase(sent_.begin());
      next_line_at_ = std::max(next_line_at_, now_) + SendPacer::kIntervalMs;
    }
    if (!queued_.empty() && DueAt() <= now_) Fail("a line whose time had come was held back");
  }

  void AskWait() {
    const int64_t wait = pacer_.MsUntilDue(MsOfDay());
    if (queued_.empty()) {
      if (wait != -1) Fail("an empty queue announces a wait");
      return;
    }
    if (wait < 0 || wait > SendPacer::kIntervalMs) Fail("a wait beyond one interval");
    if (now_ + wait != std::max(DueAt(), now_)) Fail("the announced wait is not the wait there is");
  }

  void Reset() {
    pacer_.Reset();
    since_asked_ = 0;
    queued_.clear();
    sent_.clear();
    next_line_at_ = 0;
  }

  // Time passes, less than a day since the queue was last asked: the door asks it on every pass
  // of its loop, and a clock of the time of day cannot tell a day from no time.
  void Pass(int64_t ms) {
    ms = std::min(ms, kMaxStepMs - since_asked_);
    now_ += ms;
    since_asked_ += ms;
  }

 private:
  int64_t MsOfDay() {
    since_asked_ = 0;
    return now_ % kDayMs;
  }

  void CheckBound() const {
    if (pacer_.queued() != queued_.size()) Fail("the queue's size is not the lines in it");
    if (queued_.size() > SendPacer::kMaxQueued) Fail("the queue grew past its bound");
  }

  // No line before its time: of kBurst + 1 lines in a row, the last leaves at least one interval
  // after the first.
  void CheckPace() const {
    if (sent_.size() >= SendPacer::kBurst &&
        now_ - sent_[sent_.size() - SendPacer::kBurst] < SendPacer::kIntervalMs)
      Fail("a line left before its time");
    if (now_ < DueAt()) Fail("a line left before its time");
  }

  // When the next line may go: the burst is kBurst lines, and each line sent keeps the next one
  // an interval later than the one before it would have been (the theoretical time of a line,
  // on a clock that does not wrap at midnight).
  int64_t DueAt() const { return next_line_at_ - (SendPacer::kBurst - 1) * SendPacer::kIntervalMs; }

  SendPacer pacer_;
  int64_t now_;
  std::deque<uint64_t> queued_;
  std::vector<int64_t> sent_;  // when the last kBurst lines since the last reset left
  int64_t next_line_at_ = 0;
  int64_t since_asked_ = 0;
  uint64_t next_id_ = 0;
  size_t dropped_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  auto next = [&input]() -> uint8_t {
    if (input.empty()) return 0;
    const auto byte = static_cast<uint8_t>(input.front());
    input.remove_prefix(1);
    return byte;
  };
  Check check(static_cast<int64_t>(next()) * 337'500);
  while (!input.empty()) {
    const uint8_t op = next();
    switch (op & 7) {
      case 0:
      case 1:
        for (int i = 0; i <= op >> 5; ++i) check.Push();
        break;
      case 2:
        check.Admit(next() % (SendPacer::kMaxQueued + 8));
        break;
      case 3:
        check.TakeDropped();
        break;
      case 4:
        check.TakeDue();
        break;
      case 5:
        check.AskWait();
        break;
      case 6:
        if ((op >> 3) == 0) check.Reset();
        check.TakeDue();
        break;
      default: {
        // Small steps around the interval mostly; sometimes hours, up to almost a day.
        const int64_t unit = (op & 0x80) != 0 ? 60'000 : 1;
        const int64_t ms = (static_cast<int64_t>((op >> 3) & 15) * 256 + next()) * unit;
        check.Pass(ms);
        break;
      }
    }
  }
  return 0;
}
