// LinkWatch: notices a server connection that has gone silent (a NAT time-out, a server gone
// without a FIN, a connection stuck in a server's accept queue). After kQuietMs without a byte
// from the server a PING goes out; when nothing at all arrives within kAnswerMs after it, the
// link is given up. A registration that has had no welcome (001) kWelcomeMs after the connection
// opened is given up the same way. Times are milliseconds on the door's monotonic clock; the
// owner asks MsUntilDue so that its wait ends when the next check is due and sleeps otherwise.
#pragma once

#include <cstdint>
#include <string_view>

namespace irc {

class LinkWatch {
 public:
  static constexpr int64_t kQuietMs = 180'000;
  static constexpr int64_t kAnswerMs = 60'000;
  static constexpr int64_t kWelcomeMs = 60'000;
  // The token of the PING sent by the check; the server's PONG for it is not shown.
  static constexpr std::string_view kPingToken = "ZelkIRC-lag";

  enum class Action { kNone, kPing, kGiveUp };

  // A connection opened (registration begins) / closed.
  void Start(int64_t now);
  void Stop() { active_ = false; }
  bool active() const { return active_; }
  // A byte arrived from the server.
  void Heard(int64_t now);
  // The welcome (001) arrived.
  void Welcomed() { welcomed_ = true; }
  // What is due now. kPing is returned once per silent spell; after kGiveUp the watch stops.
  Action Check(int64_t now);
  // Milliseconds until Check has something to do (0 when it has now), -1 while nothing is watched.
  int64_t MsUntilDue(int64_t now) const;

 private:
  bool active_ = false;
  bool welcomed_ = false;
  bool ping_sent_ = false;
  int64_t started_ = 0;
  int64_t last_heard_ = 0;
};

}  // namespace irc
