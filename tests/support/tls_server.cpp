#include "support/tls_server.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testsupport {

TlsServer::TlsServer(const std::string& cert_file, const std::string& key_file) {
  ctx_ = SSL_CTX_new(TLS_server_method());
  SSL_CTX_use_certificate_chain_file(ctx_, cert_file.c_str());
  SSL_CTX_use_PrivateKey_file(ctx_, key_file.c_str(), SSL_FILETYPE_PEM);
  SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

TlsServer::~TlsServer() {
  if (ssl_ != nullptr) SSL_free(ssl_);
  SSL_CTX_free(ctx_);
  if (fd_ >= 0) close(fd_);
}

bool TlsServer::Accept(int listener, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  pollfd p{listener, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return false;
  fd_ = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  if (fd_ < 0) return false;
  ssl_ = SSL_new(ctx_);
  SSL_set_fd(ssl_, fd_);
  for (;;) {
    const int r = SSL_accept(ssl_);
    if (r == 1) return true;
    const int error = SSL_get_error(ssl_, r);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd q{fd_, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
    poll(&q, 1, static_cast<int>(left.count()));
  }
}

long TlsServer::ReadNow(char* buf, size_t len) {
  size_t got = 0;
  if (SSL_read_ex(ssl_, buf, len, &got) == 1) return static_cast<long>(got);
  const int error = SSL_get_error(ssl_, 0);
  ERR_clear_error();
  return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? 0 : -1;
}

long TlsServer::WriteNow(std::string_view data) {
  size_t written = 0;
  if (SSL_write_ex(ssl_, data.data(), data.size(), &written) == 1) return static_cast<long>(written);
  const int error = SSL_get_error(ssl_, 0);
  ERR_clear_error();
  return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? 0 : -1;
}

std::string TlsServer::Encrypt(std::string_view data) {
  BIO* socket_bio = SSL_get_rbio(ssl_);
  BIO_up_ref(socket_bio);  // set0_wbio releases the reference it replaces, shared with reading
  BIO* memory = BIO_new(BIO_s_mem());
  SSL_set0_wbio(ssl_, memory);
  // Partial writes are on: one record per call.
  while (!data.empty()) {
    size_t written = 0;
    if (SSL_write_ex(ssl_, data.data(), data.size(), &written) != 1) break;
    data.remove_prefix(written);
  }
  char* bytes = nullptr;
  const long length = BIO_get_mem_data(memory, &bytes);
  std::string records(bytes, static_cast<size_t>(length));
  BIO_up_ref(socket_bio);
  SSL_set0_wbio(ssl_, socket_bio);  // frees the memory BIO
  return records;
}

}  // namespace testsupport
