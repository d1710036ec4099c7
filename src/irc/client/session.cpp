// The session's life cycle on top of SessionState: a lost link is told at once (the reason, the
// server, how long it lasted), what waited to be sent is counted as not sent, the network's
// servers are tried again in turn with a back-off, and the first welcome after a loss puts the
// caller back where they were: their channels (with their keys), the away message, the nickname.
#include <algorithm>
#include <string>
#include <vector>

#include "door/door.h"
#include "door/durations.h"
#include "irc/client/client.h"
#include "platform/transport.h"
#include "text/ascii.h"

namespace irc {
namespace {

constexpr std::string_view kServerListHint = "type /SERVERLIST to connect again";
constexpr int64_t kChatRecheckMs = 1000;

// Whole seconds, rounded up, for the lines that say when the next attempt comes.
std::string Seconds(int64_t ms) {
  return std::to_string((ms + 999) / 1000) + " s";
}

// "after 3m 12s": how long a link lasted.
std::string LastedText(int64_t ms) {
  const int64_t seconds = ms / 1000;
  return seconds > 0 ? door::DurationText(seconds) : "0s";
}

// Why a link closed itself, from its last read.
std::string EndText(const platform::IoResult& end) {
  if (end.status == platform::IoStatus::kClosed) return "Connection closed by the server";
  const std::string text = platform::ErrorText(end.error);
  return text.empty() ? "Connection failed" : text;
}

}  // namespace

int64_t Client::RunSession() {
  if (!deferred_line_.empty() && session.state() != LinkState::kConnecting) {
    const std::string line = std::move(deferred_line_);
    deferred_line_.clear();
    door::OutputBatch batch(door_);
    const bool shown = input_shown_;
    EraseInputLine();
    ProcessInputLine(line);
    if (shown && !quit_requested) RedrawInputLine();
  }
  WatchServerLink();
  if (session.linked() && !server_link.IsOpen()) LinkLost();
  if (session.MsUntilAttempt(door_.MonotonicMs()) == 0) AttemptReconnect();
  const int64_t now = door_.MonotonicMs();
  int64_t attempt_ms = session.MsUntilAttempt(now);
  // An attempt held back by a sysop chat is looked at again now and then; the chat's end, a key,
  // wakes the loop before that.
  if (attempt_ms == 0) attempt_ms = kChatRecheckMs;
  const int64_t watch_ms = link_watch_.MsUntilDue(now);
  if (attempt_ms < 0) return watch_ms;
  if (watch_ms < 0) return attempt_ms;
  return std::min(attempt_ms, watch_ms);
}

void Client::LinkLost() {
  const int64_t now = door_.MonotonicMs();
  const std::string reason = end_reason_.empty() ? EndText(server_link.end()) : end_reason_;
  const size_t unsent = send_pacer.queued();
  send_pacer.Reset();
  link_watch_.Stop();
  capabilities.reset();
  rejoining_.clear();
  resume_nick_ = nick_;
  door::OutputBatch batch(door_);
  const bool shown = input_shown_;
  EraseInputLine();
  ShowStatus("Connection to " + link_target_.host + " lost after " + LastedText(session.LinkAgeMs(now)) +
             ": " + reason);
  if (unsent > 0) ShowStatus(std::to_string(unsent) + (unsent == 1 ? " line" : " lines") + " not sent");
  const bool wanted = config_file.Current().general.reconnect;
  const SessionState::Next next = session.Lost(now, wanted && !refused_);
  if (next.reconnect) {
    ShowStatus("Reconnecting in " + Seconds(next.wait_ms) + " (Esc stops)");
  } else if (next.gave_up) {
    ShowStatus("Gave up reconnecting after 10 minutes; " + std::string(kServerListHint));
  } else if (wanted) {
    ShowStatus("Not reconnecting: refused by the server; " + std::string(kServerListHint));
  } else {
    ShowStatus("Disconnected; " + std::string(kServerListHint));
  }
  if (shown) DrawInputLine();
}

void Client::AttemptReconnect() {
  LinkTarget& target = link_target_;
  // A network's servers in turn, from the one whose link was lost; the INI may have changed.
  const NetworkConfig* network =
      target.network.empty() ? nullptr : config_file.Current().FindNetwork(target.network);
  if (network != nullptr && !network->servers.empty()) {
    server_turn_ %= network->servers.size();
    const ServerEntry& server = network->servers[server_turn_];
    target.host = server.host;
    target.port = server.port;
    target.needs_password = network->pass;
  }
  // The login prompt needs the screen, which a sysop chat holds: the attempt waits for its end.
  if (door_.sysop.chat_active && !login_ && (target.needs_password || target.options.sasl)) return;
  if (!session.BeginAttempt()) return;
  stop_connect_ = false;
  resuming_ = true;
  std::string reason;
  if (OpenAndRegister(&reason)) return;
  resuming_ = false;
  // Stopped: Esc has said so; /QUIT ends the visit; a /SERVER or /SERVERLIST runs next.
  if (ConnectStopped()) {
    session.Stop();
    return;
  }
  ++server_turn_;
  const SessionState::Next next = session.Failed(door_.MonotonicMs());
  std::string line = "Reconnect to " + target.host + " failed";
  if (!reason.empty()) line += " (" + reason + ")";
  if (next.reconnect) {
    line += "; next try in " + Seconds(next.wait_ms);
  } else {
    line += "; gave up after 10 minutes, " + std::string(kServerListHint);
  }
  ShowStatus(line);
  if (!next.reconnect) resume_nick_.clear();
}

bool Client::TakeRejoin(std::string_view channel) {
  for (auto it = rejoining_.begin(); it != rejoining_.end(); ++it) {
    if (text::EqualsIgnoreCase(*it, channel) && targets.Find(channel) >= 0) {
      rejoining_.erase(it);
      return true;
    }
  }
  return false;
}

void Client::StopConnecting() {
  const LinkState state = session.state();
  if (state == LinkState::kDisconnected || state == LinkState::kRegistered) return;
  const bool reconnecting = session.in_series();
  if (state == LinkState::kConnecting) stop_connect_ = true;
  if (state == LinkState::kRegistering) {
    // The server has the registration under way: it is told goodbye.
    SendQuit();
    link_watch_.Stop();
    capabilities.reset();
    send_pacer.Reset();
    server_link.Close(true);
  }
  session.Stop();
  ShowStatus(reconnecting ? "Reconnecting stopped; " + std::string(kServerListHint) : "Connecting stopped");
}

void Client::NoteServerError(std::string_view text) {
  end_reason_ = text;
  if (IsBanReason(text)) refused_ = true;
}

void Client::NoteRefusal(int number) {
  // A failed SASL login matters only while it can still end the registration.
  if (number == 465 || (link_target_.options.sasl && session.state() == LinkState::kRegistering))
    refused_ = true;
}

void Client::Welcomed() {
  link_watch_.Welcomed();
  session.Welcomed(door_.MonotonicMs());
  // A SASL failure that let the registration go on refused nothing.
  refused_ = false;
  if (!resuming_) return;
  resuming_ = false;
  // The server says which nickname it has given the caller.
  const std::string given(server_message_[2]);
  if (!given.empty() && given != "*") SetNick(given);
  if (!resume_nick_.empty() && !text::EqualsIgnoreCase(nick_, resume_nick_)) {
    ShowStatus("You are now known as " + nick_);
  }
  rejoining_.assign(targets.names().begin() + 1, targets.names().end());
  for (const std::string& line : resume_notes_.JoinLines(rejoining_)) server_link.SendLine(line);
  if (!resume_notes_.away().empty()) server_link.SendLine("AWAY :" + resume_notes_.away());
}

}  // namespace irc
