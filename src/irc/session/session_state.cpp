// The server link's life cycle as a state machine, with the reconnect back-off.
#include "irc/session/session_state.h"

#include <algorithm>
#include <array>

#include "text/ascii.h"

namespace irc {
namespace {

constexpr int64_t kMaxJitterFloorMs = 1'000;

// Words of an ERROR text that mean the server has banned the caller, matched without regard to
// case anywhere in the text.
constexpr std::array<std::string_view, 10> kBanWords = {
    "K-LINE", "G-LINE", "Z-LINE", "D-LINE", "KLINE", "GLINE", "ZLINE", "DLINE", "AKILL", "BANNED",
};

}  // namespace

void SessionState::Connect() {
  state_ = LinkState::kConnecting;
  in_series_ = false;
  attempts_ = 0;
  welcomed_at_ = -1;
}

bool SessionState::BeginAttempt() {
  if (state_ != LinkState::kWaitingToReconnect) return false;
  state_ = LinkState::kConnecting;
  welcomed_at_ = -1;
  return true;
}

void SessionState::Opened(int64_t now) {
  state_ = LinkState::kRegistering;
  opened_at_ = now;
  welcomed_at_ = -1;
}

void SessionState::Welcomed(int64_t now) {
  if (state_ != LinkState::kRegistering) return;
  state_ = LinkState::kRegistered;
  welcomed_at_ = now;
}

SessionState::Next SessionState::Failed(int64_t now) {
  if (!in_series_) {
    state_ = LinkState::kDisconnected;
    return {};
  }
  return Plan(now);
}

SessionState::Next SessionState::Lost(int64_t now, bool reconnect) {
  const bool steady = welcomed_at_ >= 0 && now - welcomed_at_ >= kSteadyMs;
  welcomed_at_ = -1;
  if (!reconnect) {
    Stop();
    return {};
  }
  if (!in_series_ || steady) {
    in_series_ = true;
    attempts_ = 0;
    series_start_ = now;
  }
  return Plan(now);
}

void SessionState::Stop() {
  state_ = LinkState::kDisconnected;
  in_series_ = false;
  attempts_ = 0;
}

SessionState::Next SessionState::Plan(int64_t now) {
  constexpr size_t kSteps = std::size(kBackOffMs);
  const int64_t step = kBackOffMs[std::min<size_t>(static_cast<size_t>(attempts_), kSteps - 1)];
  const int64_t spread = std::max(kMaxJitterFloorMs, step / 4);
  const int64_t wait = step + static_cast<int64_t>(random_() % static_cast<uint32_t>(spread + 1));
  if (now + wait - series_start_ > kGiveUpMs) {
    Stop();
    return {.gave_up = true};
  }
  ++attempts_;
  state_ = LinkState::kWaitingToReconnect;
  due_at_ = now + wait;
  return {.reconnect = true, .wait_ms = wait, .attempt = attempts_};
}

int64_t SessionState::MsUntilAttempt(int64_t now) const {
  if (state_ != LinkState::kWaitingToReconnect) return -1;
  return std::max<int64_t>(due_at_ - now, 0);
}

bool IsBanReason(std::string_view text) {
  const std::string upper = text::UpperAscii(text);
  return std::any_of(kBanWords.begin(), kBanWords.end(),
                     [&upper](std::string_view word) { return upper.find(word) != std::string::npos; });
}

}  // namespace irc
