// Opening the server link in bounded, interruptible steps, and watching it for silence once open.
#include <algorithm>
#include <optional>
#include <string>

#include "door/door.h"
#include "door/text_helpers.h"
#include "irc/client.h"
#include "irc/port.h"
#include "net/dialer.h"

namespace irc {
namespace {

constexpr int kDefaultConnectSeconds = 30;

}  // namespace

bool Client::OpenServerLink(std::string_view host, ServerPort port, std::string_view network) {
  link_watch.Stop();
  server_link.Close(true);
  if (!IsPort(port.port)) {
    ShowStatus("Unable to connect");
    return false;
  }
  std::optional<platform::TlsSettings> tls;
  if (port.tls) {
    const TlsPolicy policy = ReadTlsPolicy(ini_file, network);
    if (policy.pin_malformed) {
      ShowStatus("Unable to connect");
      ShowStatus("TLS: tlsfingerprint is not a SHA-256 fingerprint");
      return false;
    }
    tls = platform::TlsSettings{.host = std::string(host),
                                .verify = policy.verify,
                                .pin = policy.pin,
                                .unix_time = door_.clock().UnixSeconds()};
  }
  int seconds = ini_file.ReadInteger("general", "connecttimeout", kDefaultConnectSeconds);
  if (seconds <= 0) seconds = kDefaultConnectSeconds;
  const int64_t limit_ms = int64_t{seconds} * 1000;

  net::Dialer dialer(host, port.port, std::move(tls));
  const int64_t start = door_.MonotonicMs();
  for (;;) {
    const platform::Progress progress = dialer.Continue();
    if (progress == platform::Progress::kDone) break;
    if (progress == platform::Progress::kFailed) {
      ShowStatus("Unable to connect");
      if (dialer.tls_failure() != platform::TlsFailure::kNone)
        ShowStatus(TlsFailureText(dialer.tls_failure()));
      return false;
    }
    const int64_t left = limit_ms - (door_.MonotonicMs() - start);
    if (left <= 0) {
      ShowStatus("Unable to connect");
      ShowStatus("No answer within " + std::to_string(seconds) + " seconds");
      return false;
    }
    platform::WaitFd wanted = dialer.wanted();
    door_.WaitBusy(std::span<platform::WaitFd>(&wanted, 1), static_cast<int>(left));
    // The caller's hang-up, the BBS's termination signal and the time limit end the visit here.
    door_.Tick();
  }
  return server_link.Attach(dialer.Take());
}

int Client::WatchServerLink() {
  if (!server_link.IsOpen()) {
    link_watch.Stop();
    return -1;
  }
  const int64_t now = door_.MonotonicMs();
  const int negotiation_ms = WatchNegotiation(now);
  switch (link_watch.Check(now)) {
    case LinkWatch::Action::kPing:
      server_link.SendLine("PING :" + std::string(LinkWatch::kPingToken));
      break;
    case LinkWatch::Action::kGiveUp:
      ShowStatus("Server not responding");
      server_link.Close(true);
      return -1;
    case LinkWatch::Action::kNone:
      break;
  }
  const int watch_ms = static_cast<int>(link_watch.MsUntilDue(now));
  return negotiation_ms < 0 ? watch_ms : watch_ms < 0 ? negotiation_ms : std::min(watch_ms, negotiation_ms);
}

}  // namespace irc
