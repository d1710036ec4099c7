// The client's side of capability negotiation: CAP LS on every new link, the steps of the
// negotiation acted on, its time limit (so that a server that never answers CAP registers after a
// few seconds as one without it), and Strict Transport Security: a plain link moved to TLS when
// its server asks, policies kept and honoured.
#include <algorithm>
#include <string>

#include "door/door.h"
#include "irc/client/client.h"
#include "irc/protocol/scram.h"
#include "platform/crypto.h"
#include "platform/tls.h"
#include "text/ascii.h"

namespace irc {
void Client::StartNegotiation(bool tls, bool sasl) {
  CapNegotiation::Settings settings;
  settings.tls = tls;
  if (login_ && sasl) {
    settings.login = CapNegotiation::Login{login_->name, login_->password};
    // Only a login needs the crypto library: a door without one never loads it.
    settings.scram_available = platform::CryptoAvailable();
    settings.make_nonce = ScramClient::MakeNonce;
  }
  capabilities.emplace(std::move(settings));
  server_link.SendLine(CapNegotiation::kFirstLine);
  negotiation_deadline_ms_ = door_.MonotonicMs() + CapNegotiation::kAnswerWaitMs;
}

void Client::ApplyNegotiationStep(CapNegotiation::Step& step) {
  for (const std::string& text : step.status) ShowStatus(text);
  for (const std::string& out : step.send) server_link.SendLine(out);
  // Each answer of the server gives it the full wait again.
  if (!step.send.empty()) negotiation_deadline_ms_ = door_.MonotonicMs() + CapNegotiation::kAnswerWaitMs;
  if (step.sts_duration && link_port_.tls) {
    sts_policies_.Record(link_target_.host, link_port_.port, *step.sts_duration, door_.clock().UnixSeconds());
  }
  // A door that cannot speak TLS stays where it is, as a client without it must.
  if (step.sts_port && !link_port_.tls && platform::TlsAvailable()) {
    sts_move_port_ = step.sts_port;
    return;
  }
}

int Client::WatchNegotiation(int64_t now_ms) {
  if (!capabilities || !capabilities->negotiating() || !server_link.IsOpen()) return -1;
  if (now_ms < negotiation_deadline_ms_) return static_cast<int>(negotiation_deadline_ms_ - now_ms);
  CapNegotiation::Step step = capabilities->GiveUp();
  ApplyNegotiationStep(step);
  return -1;
}

ServerPort Client::PortAfterSts(std::string_view host, ServerPort port) {
  sts_policies_.UseFile(StsFilePath(config_file.Path(), config_file.Current().general.sts_file));
  if (port.tls) return port;
  const std::optional<int> tls_port = sts_policies_.Find(host, door_.clock().UnixSeconds());
  if (!tls_port || !platform::TlsAvailable()) return port;
  return ServerPort{*tls_port, true};
}

void Client::MoveToTls() {
  const int port = *sts_move_port_;
  sts_move_port_.reset();
  ShowStatus("This server asks for TLS: connecting again on port " + std::to_string(port));
  // The move is the server's own wish: the old link simply closes.
  server_link.Close(true);
  link_target_.port = ServerPort{port, true};
  session.Connect();
  ShowStatus("Connecting to " + text::WithoutControls(link_target_.host));
  std::string reason;
  if (!OpenAndRegister(&reason)) ConnectFailed(reason);
}

}  // namespace irc
