// The client's side of capability negotiation: CAP LS on every new link, the steps of the
// negotiation acted on, and its time limit, so that a server that never answers CAP registers
// after a few seconds as one without it.
#include <algorithm>
#include <string>

#include "door/door.h"
#include "irc/client.h"
#include "irc/scram.h"
#include "platform/crypto.h"

namespace irc {

void Client::StartNegotiation(bool tls, std::optional<LoginAnswers> login) {
  CapNegotiation::Settings settings;
  settings.tls = tls;
  if (login) {
    settings.login = CapNegotiation::Login{std::move(login->name), std::move(login->password)};
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
}

int Client::WatchNegotiation(int64_t now_ms) {
  if (!capabilities || !capabilities->negotiating() || !server_link.IsOpen()) return -1;
  if (now_ms < negotiation_deadline_ms_) return static_cast<int>(negotiation_deadline_ms_ - now_ms);
  CapNegotiation::Step step = capabilities->GiveUp();
  ApplyNegotiationStep(step);
  return -1;
}

}  // namespace irc
