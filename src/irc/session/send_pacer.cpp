// Pacing typed lines to the server: a burst, then one line an interval, within a bounded queue.
#include "irc/session/send_pacer.h"

namespace irc {
namespace {

constexpr int64_t kDayMs = 86'400'000;
constexpr int64_t kMaxAheadMs = (SendPacer::kBurst - 1) * SendPacer::kIntervalMs;

}  // namespace

void SendPacer::Advance(int64_t ms_of_day) {
  if (last_ms_ >= 0) {
    const int64_t passed = ((ms_of_day - last_ms_) % kDayMs + kDayMs) % kDayMs;
    ahead_ms_ = passed >= ahead_ms_ ? 0 : ahead_ms_ - passed;
  }
  last_ms_ = ms_of_day;
}

bool SendPacer::Push(std::string line, int64_t ms_of_day) {
  Advance(ms_of_day);
  if (!Admit(1)) return false;
  lines_.push_back(std::move(line));
  return true;
}

bool SendPacer::Admit(size_t count) {
  if (count <= kMaxQueued && lines_.size() <= kMaxQueued - count) return true;
  dropped_ += count;
  return false;
}

size_t SendPacer::TakeDropped() {
  const size_t dropped = dropped_;
  dropped_ = 0;
  return dropped;
}

bool SendPacer::TakeDue(int64_t ms_of_day, std::string* line) {
  Advance(ms_of_day);
  if (lines_.empty() || ahead_ms_ > kMaxAheadMs) return false;
  *line = std::move(lines_.front());
  lines_.pop_front();
  ahead_ms_ += kIntervalMs;
  return true;
}

int64_t SendPacer::MsUntilDue(int64_t ms_of_day) {
  Advance(ms_of_day);
  if (lines_.empty()) return -1;
  return ahead_ms_ > kMaxAheadMs ? ahead_ms_ - kMaxAheadMs : 0;
}

void SendPacer::Reset() {
  lines_.clear();
  ahead_ms_ = 0;
  last_ms_ = -1;
}

}  // namespace irc
