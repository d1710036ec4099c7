// The client's side of capability negotiation: CAP LS on every new link, the steps of the
// negotiation acted on, its time limit (so that a server that never answers CAP registers after a
// few seconds as one without it), and Strict Transport Security: a plain link moved to TLS when
// its server asks, policies kept and honoured.
#include <algorithm>
#include <string>

#include "door/door.h"
#include "irc/client.h"
#include "irc/scram.h"
#include "platform/crypto.h"
#include "platform/tls.h"

namespace irc {
namespace {

// Read for a missing key: no INI value can hold a line end.
constexpr std::string_view kMissing = "\n";

}  // namespace

void Client::StartNegotiation(bool tls, const std::optional<LoginAnswers>& answers, bool sasl) {
  CapNegotiation::Settings settings;
  settings.tls = tls;
  if (answers && sasl) {
    settings.login = CapNegotiation::Login{answers->name, answers->password};
    // Only a login needs the crypto library: a door without one never loads it.
    settings.scram_available = platform::CryptoAvailable();
    settings.make_nonce = ScramClient::MakeNonce;
  }
  ForgetAnswers();
  // A plain link may yet be moved to TLS, which registers again with the same answers.
  if (!tls) kept_answers_ = answers;
  capabilities.emplace(std::move(settings));
  server_link.SendLine(CapNegotiation::kFirstLine);
  negotiation_deadline_ms_ = door_.MonotonicMs() + CapNegotiation::kAnswerWaitMs;
}

void Client::ForgetAnswers() {
  if (!kept_answers_) return;
  std::fill(kept_answers_->password.begin(), kept_answers_->password.end(), '\0');
  kept_answers_.reset();
}

void Client::ApplyNegotiationStep(CapNegotiation::Step& step) {
  for (const std::string& text : step.status) ShowStatus(text);
  for (const std::string& out : step.send) server_link.SendLine(out);
  // Each answer of the server gives it the full wait again.
  if (!step.send.empty()) negotiation_deadline_ms_ = door_.MonotonicMs() + CapNegotiation::kAnswerWaitMs;
  if (step.sts_duration && link_port_.tls) {
    sts_policies.Record(link_plan_.host, link_port_.port, *step.sts_duration, door_.clock().UnixSeconds());
  }
  // A door that cannot speak TLS stays where it is, as a client without it must.
  if (step.sts_port && !link_port_.tls && platform::TlsAvailable()) {
    sts_move_port_ = step.sts_port;
    return;
  }
  if (capabilities && !capabilities->negotiating()) ForgetAnswers();
}

int Client::WatchNegotiation(int64_t now_ms) {
  if (!capabilities || !capabilities->negotiating() || !server_link.IsOpen()) return -1;
  if (now_ms < negotiation_deadline_ms_) return static_cast<int>(negotiation_deadline_ms_ - now_ms);
  CapNegotiation::Step step = capabilities->GiveUp();
  ApplyNegotiationStep(step);
  return -1;
}

ServerPort Client::PortAfterSts(std::string_view host, ServerPort port) {
  sts_policies.UseFile(StsFilePath(ini_file.Path(), [this]() -> std::optional<std::string> {
    std::string setting = ini_file.ReadString("general", "stsfile", kMissing);
    if (setting == kMissing) return std::nullopt;
    return setting;
  }()));
  if (port.tls) return port;
  const std::optional<int> tls_port = sts_policies.Find(host, door_.clock().UnixSeconds());
  if (!tls_port || !platform::TlsAvailable()) return port;
  return ServerPort{*tls_port, true};
}

void Client::MoveToTls() {
  const int port = *sts_move_port_;
  sts_move_port_.reset();
  ShowStatus("This server asks for TLS: connecting again on port " + std::to_string(port));
  // The move is the server's own wish: the old link simply closes.
  server_link.Close(true);
  link_plan_.port = ServerPort{port, true};
  std::optional<LoginAnswers> answers = std::move(kept_answers_);
  kept_answers_.reset();
  ConnectPlanned(std::move(answers));
}

}  // namespace irc
