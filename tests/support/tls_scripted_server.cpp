#include "support/tls_scripted_server.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "support/sockets.h"

namespace testsupport {
namespace {

using SteadyClock = std::chrono::steady_clock;

int MsLeft(SteadyClock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

TlsScriptedServer::TlsScriptedServer(const std::string& cert_file, const std::string& key_file) {
  // OpenSSL writes to the socket itself: a door that has gone must not end the test program.
  signal(SIGPIPE, SIG_IGN);
  ctx_ = SSL_CTX_new(TLS_server_method());
  SSL_CTX_use_certificate_chain_file(ctx_, cert_file.c_str());
  SSL_CTX_use_PrivateKey_file(ctx_, key_file.c_str(), SSL_FILETYPE_PEM);
  listen_fd_ = ListenLoopback(&port_);
}

TlsScriptedServer::~TlsScriptedServer() {
  Close();
  SSL_CTX_free(ctx_);
  if (listen_fd_ >= 0) CloseSocket(listen_fd_);
}

void TlsScriptedServer::Join() {
  if (acceptor_.joinable()) acceptor_.join();
}

void TlsScriptedServer::Close() {
  Join();
  if (ssl_ != nullptr) {
    SSL_shutdown(ssl_);
    SSL_free(ssl_);
    ssl_ = nullptr;
  }
  if (fd_ >= 0) CloseSocket(fd_);
  fd_ = -1;
  accepted_ = false;
  pending_.clear();
  lines_.clear();
  returned_ = 0;
}

void TlsScriptedServer::AcceptInBackground(int timeout_ms) {
  Close();
  accept_done_ = false;
  acceptor_ = std::thread([this, timeout_ms] {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
    fd_ = AcceptWithin(listen_fd_, timeout_ms);
    if (fd_ >= 0) {
      ssl_ = SSL_new(ctx_);
      SSL_set_fd(ssl_, fd_);
      for (;;) {
        const int result = SSL_accept(ssl_);
        if (result == 1) {
          accepted_ = true;
          break;
        }
        const int error = SSL_get_error(ssl_, result);
        ERR_clear_error();
        if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || MsLeft(deadline) == 0) break;
        pollfd p{fd_, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
        poll(&p, 1, MsLeft(deadline));
      }
    }
    accept_done_ = true;
  });
}

bool TlsScriptedServer::Accepted(int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  while (!accept_done_ && MsLeft(deadline) > 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  if (!accept_done_) return false;
  Join();
  return accepted_;
}

void TlsScriptedServer::SendLine(std::string_view line) {
  if (!accepted_) return;
  const std::string text = std::string(line) + "\r\n";
  size_t written = 0;
  SSL_write_ex(ssl_, text.data(), text.size(), &written);
}

std::optional<std::string> TlsScriptedServer::WaitForLine(std::string_view prefix, int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    while (returned_ < lines_.size()) {
      const std::string& line = lines_[returned_++];
      if (line.starts_with(prefix)) return line;
    }
    if (!accepted_ || MsLeft(deadline) == 0) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (SSL_pending(ssl_) == 0 && poll(&p, 1, MsLeft(deadline)) <= 0) continue;
    char buf[4096];
    size_t got = 0;
    if (SSL_read_ex(ssl_, buf, sizeof buf, &got) != 1) {
      const int error = SSL_get_error(ssl_, 0);
      ERR_clear_error();
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return std::nullopt;
      continue;
    }
    pending_.append(buf, got);
    for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
      std::string line = pending_.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(std::move(line));
    }
  }
}

}  // namespace testsupport
