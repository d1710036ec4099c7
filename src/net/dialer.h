// Dialer: opens one server connection in non-blocking steps, the TCP connection and then, for a
// TLS port, the handshake. The owner waits on wanted() between steps (through its one wait, with
// its own deadline) and takes the finished transport for its TcpLink.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/clock.h"
#include "platform/connecting.h"
#include "platform/tls.h"

namespace net {

class Dialer {
 public:
  // tls empty: a plain connection. lookup resolves host names (tests give a slow or failing one).
  Dialer(std::string_view host, int port, std::optional<platform::TlsSettings> tls,
         platform::NameLookup lookup = platform::SystemNameLookup);

  // Advances as far as it can now: kDone once the connection (and its handshake) is up, kFailed
  // when it cannot be made, otherwise what it waits for.
  platform::Progress Continue();
  // The descriptor and readiness the last Continue waits for (fd -1 when it waits for nothing).
  platform::WaitFd wanted() const { return wanted_; }
  // Why a TLS handshake was refused (kNone for a plain failure or while going on).
  platform::TlsFailure tls_failure() const { return tls_ ? tls_->failure() : platform::TlsFailure::kNone; }
  // The open connection after kDone; nullptr otherwise.
  std::unique_ptr<platform::Transport> Take();

 private:
  platform::Progress Wants(platform::Progress progress, int fd);

  std::unique_ptr<platform::TcpConnecting> tcp_;
  std::optional<platform::TlsSettings> tls_settings_;
  std::unique_ptr<platform::TlsTransport> tls_;
  std::unique_ptr<platform::Transport> plain_;
  platform::WaitFd wanted_;
  bool done_ = false;
  bool failed_ = false;
};

}  // namespace net
