// Noticing a silent server link: a PING after quiet, the link given up when nothing answers.
#include "irc/session/link_watch.h"

#include <algorithm>

#include "door/durations.h"

namespace irc {

void LinkWatch::Start(int64_t now) {
  active_ = true;
  welcomed_ = false;
  ping_sent_ = false;
  started_ = now;
  last_heard_ = now;
}

void LinkWatch::Heard(int64_t now) {
  last_heard_ = now;
  ping_sent_ = false;
}

LinkWatch::Action LinkWatch::Check(int64_t now) {
  if (!active_) return Action::kNone;
  const int64_t quiet = door::MsSince(last_heard_, now);
  if ((!welcomed_ && door::MsSince(started_, now) >= kWelcomeMs) || quiet >= kQuietMs + kAnswerMs) {
    active_ = false;
    return Action::kGiveUp;
  }
  if (welcomed_ && !ping_sent_ && quiet >= kQuietMs) {
    ping_sent_ = true;
    return Action::kPing;
  }
  return Action::kNone;
}

int64_t LinkWatch::MsUntilDue(int64_t now) const {
  if (!active_) return -1;
  const int64_t quiet = door::MsSince(last_heard_, now);
  int64_t due = (ping_sent_ || !welcomed_ ? kQuietMs + kAnswerMs : kQuietMs) - quiet;
  if (!welcomed_) due = std::min(due, kWelcomeMs - door::MsSince(started_, now));
  return std::max<int64_t>(due, 0);
}

}  // namespace irc
