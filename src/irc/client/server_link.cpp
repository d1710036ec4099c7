// Opening the server link in bounded steps that keys can interrupt, and watching it for silence
// once open.
#include <algorithm>
#include <optional>
#include <string>

#include "door/door.h"
#include "irc/client/client.h"
#include "irc/protocol/port.h"
#include "net/dialer.h"

namespace irc {

bool Client::OpenServerLink(std::string_view host, ServerPort port, std::string_view network,
                            std::string* reason) {
  link_watch_.Stop();
  server_link.Close(true);
  reason->clear();
  if (!IsPort(port.port)) return false;
  std::optional<platform::TlsSettings> tls;
  if (port.tls) {
    const NetworkConfig* settings = network.empty() ? nullptr : config_file.Current().FindNetwork(network);
    const TlsPolicy policy = settings != nullptr ? settings->tls : TlsPolicy{};
    if (policy.pin_malformed) {
      *reason = "TLS: tlsfingerprint is not a SHA-256 fingerprint";
      return false;
    }
    tls = platform::TlsSettings{.host = std::string(host),
                                .verify = policy.verify,
                                .pin = policy.pin,
                                .unix_time = door_.clock().UnixSeconds()};
  }
  const int seconds = config_file.Current().general.connect_seconds;
  const int64_t limit_ms = int64_t{seconds} * 1000;

  net::Dialer dialer(host, port.port, std::move(tls));
  const int64_t start = door_.MonotonicMs();
  for (;;) {
    const platform::Progress progress = dialer.Continue();
    if (progress == platform::Progress::kDone) break;
    if (progress == platform::Progress::kFailed) {
      if (dialer.tls_failure() != platform::TlsFailure::kNone) *reason = TlsFailureText(dialer.tls_failure());
      return false;
    }
    const int64_t left = limit_ms - (door_.MonotonicMs() - start);
    if (left <= 0) {
      *reason = "No answer within " + std::to_string(seconds) + " seconds";
      return false;
    }
    platform::WaitFd wanted = dialer.wanted();
    door_.WaitForEvent(std::span<platform::WaitFd>(&wanted, 1), left);
    if (!HandleKeysWhileConnecting()) return false;
  }
  return server_link.Attach(dialer.Take());
}

bool Client::HandleKeysWhileConnecting() {
  // The key test ticks: the caller's hang-up, the BBS's termination signal and the time limit end
  // the visit here.
  while (!ConnectStopped() && door_.DoorKeyPressed()) {
    const char key = door_.DoorReadKey();
    // What is typed shows on the input line, as at any other time.
    if (!input_shown_) {
      door::OutputBatch batch(door_);
      DrawInputLine();
    }
    HandleKey(key);
  }
  return !ConnectStopped();
}

int Client::WatchServerLink() {
  if (!server_link.IsOpen()) {
    link_watch_.Stop();
    return -1;
  }
  const int64_t now = door_.MonotonicMs();
  const int negotiation_ms = WatchNegotiation(now);
  switch (link_watch_.Check(now)) {
    case LinkWatch::Action::kPing:
      server_link.SendLine("PING :" + std::string(LinkWatch::kPingToken));
      break;
    case LinkWatch::Action::kGiveUp:
      // Told, with the reconnect it leads to, as a lost link.
      end_reason_ = "Server not responding";
      server_link.Close(true);
      return -1;
    case LinkWatch::Action::kNone:
      break;
  }
  const int watch_ms = static_cast<int>(link_watch_.MsUntilDue(now));
  return negotiation_ms < 0 ? watch_ms : watch_ms < 0 ? negotiation_ms : std::min(watch_ms, negotiation_ms);
}

}  // namespace irc
