#include "irc/send_pacer.h"

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

SendPacer::Pushed SendPacer::Push(std::string line, int64_t ms_of_day) {
  Advance(ms_of_day);
  if (lines_.size() >= kMaxQueued) {
    const bool first = !dropping_;
    dropping_ = true;
    return first ? Pushed::kDropped : Pushed::kDroppedQuietly;
  }
  lines_.push_back(std::move(line));
  return Pushed::kQueued;
}

bool SendPacer::TakeDue(int64_t ms_of_day, std::string* line) {
  Advance(ms_of_day);
  if (lines_.empty() || ahead_ms_ > kMaxAheadMs) return false;
  *line = std::move(lines_.front());
  lines_.pop_front();
  ahead_ms_ += kIntervalMs;
  dropping_ = false;
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
  dropping_ = false;
}

}  // namespace irc
