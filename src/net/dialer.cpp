#include "net/dialer.h"

#include <utility>

namespace net {

using platform::Progress;

Dialer::Dialer(std::string_view host, int port, std::optional<platform::TlsSettings> tls,
               platform::NameLookup lookup)
    : tcp_(platform::StartTcpConnect(host, port, lookup)), tls_settings_(std::move(tls)) {}

Progress Dialer::Continue() {
  if (done_) return Progress::kDone;
  if (failed_) return Progress::kFailed;
  if (tcp_) {
    const Progress tcp = tcp_->Continue();
    if (tcp != Progress::kDone) return Wants(tcp, tcp_->Fd());
    std::unique_ptr<platform::Transport> socket = tcp_->Take();
    tcp_.reset();
    if (!socket) return Wants(Progress::kFailed, -1);
    if (!tls_settings_) {
      plain_ = std::move(socket);
      return Wants(Progress::kDone, -1);
    }
    tls_ = platform::StartTls(std::move(socket), *tls_settings_);
  }
  if (!tls_) return Wants(Progress::kFailed, -1);
  const Progress handshake = tls_->Handshake();
  return Wants(handshake, tls_->Fd());
}

Progress Dialer::Wants(Progress progress, int fd) {
  done_ = progress == Progress::kDone;
  failed_ = progress == Progress::kFailed;
  wanted_ = {};
  if (progress == Progress::kWantRead || progress == Progress::kWantWrite) {
    wanted_.fd = fd;
    wanted_.want_read = progress == Progress::kWantRead;
    wanted_.want_write = progress == Progress::kWantWrite;
  }
  return progress;
}

std::unique_ptr<platform::Transport> Dialer::Take() {
  if (!done_) return nullptr;
  if (plain_) return std::move(plain_);
  return std::move(tls_);
}

}  // namespace net
