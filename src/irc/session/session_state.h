// The server link's life cycle as one state machine: disconnected, connecting, registering,
// registered, and waiting to reconnect after a loss. It decides when the next reconnect attempt
// is due (a back-off of 2, 4, 8, 16, 30 and then 60 s, each with a little jitter so that many
// doors on one server do not come back in the same second) and when to give up; the client does
// the connecting and the talking. Times are milliseconds on the door's monotonic clock.
//
//   kDisconnected --Connect--> kConnecting --Opened--> kRegistering --Welcomed--> kRegistered
//   kConnecting --Failed--> kDisconnected, or kWaitingToReconnect within a reconnect series
//   kRegistering/kRegistered --Lost--> kWaitingToReconnect (or kDisconnected: not allowed, or
//                                      time is up)
//   kWaitingToReconnect --BeginAttempt--> kConnecting
//   any --Stop--> kDisconnected (the caller ended it: no reconnect)
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace irc {

enum class LinkState { kDisconnected, kConnecting, kRegistering, kRegistered, kWaitingToReconnect };

class SessionState {
 public:
  // The waits before the attempts of a reconnect series; the last one repeats.
  static constexpr int64_t kBackOffMs[] = {2'000, 4'000, 8'000, 16'000, 30'000, 60'000};
  // Reconnecting stops once the next attempt would start this long after the loss.
  static constexpr int64_t kGiveUpMs = 600'000;
  // A link registered at least this long has worked: its loss starts a new series. A shorter one
  // (a server that takes the caller and drops them again) goes on with the series it ends.
  static constexpr int64_t kSteadyMs = 60'000;

  // What a failed attempt or a lost link leads to.
  struct Next {
    bool reconnect = false;  // an attempt is planned, wait_ms from now
    int64_t wait_ms = 0;
    int attempt = 0;       // the number of the planned attempt in its series, from 1
    bool gave_up = false;  // a series ran out of time: no attempt is planned
  };

  explicit SessionState(uint32_t jitter_seed = std::random_device{}()) : random_(jitter_seed) {}

  LinkState state() const { return state_; }
  // The link is open (registering or registered).
  bool linked() const { return state_ == LinkState::kRegistering || state_ == LinkState::kRegistered; }
  // The attempt under way belongs to a reconnect series.
  bool in_series() const { return in_series_; }

  // A connect the caller (or start-up) asked for: any reconnect series ends.
  void Connect();
  // The planned attempt starts; false unless one is waited for.
  bool BeginAttempt();
  // The attempt under way has opened the link: registration begins.
  void Opened(int64_t now);
  // The server's welcome: registered.
  void Welcomed(int64_t now);
  // The attempt under way failed. Outside a series the session is disconnected; within one the
  // next attempt is planned (or the series gives up).
  Next Failed(int64_t now);
  // The open link ended without the caller asking for it. With reconnect false (switched off, or
  // refused for good) the session is disconnected; otherwise the next attempt is planned.
  Next Lost(int64_t now, bool reconnect);
  // The caller ended the link or the attempts (/QUIT, /SERVER, /SERVERLIST, Esc).
  void Stop();

  // Milliseconds until the planned attempt (0: due now), -1 when none is planned.
  int64_t MsUntilAttempt(int64_t now) const;
  // How long the link has been open, 0 when it is not.
  int64_t LinkAgeMs(int64_t now) const { return linked() ? now - opened_at_ : 0; }

 private:
  Next Plan(int64_t now);

  LinkState state_ = LinkState::kDisconnected;
  bool in_series_ = false;
  int attempts_ = 0;          // attempts planned in the current series
  int64_t series_start_ = 0;  // when the series' link was lost
  int64_t due_at_ = 0;        // when the planned attempt starts
  int64_t opened_at_ = 0;
  int64_t welcomed_at_ = -1;  // -1: the link under way has had no welcome
  std::minstd_rand random_;
};

// An ERROR text that tells of a ban (a K-line, G-line, Z-line, AKILL, "banned"): the server
// refuses the caller for good, so the door does not come back.
bool IsBanReason(std::string_view text);

}  // namespace irc
