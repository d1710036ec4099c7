// TLS with OpenSSL. The session reads and writes through a small BIO over the connected
// transport below it, so OpenSSL never touches the descriptor itself: handshake steps and
// reads that find nothing use the transport's non-blocking calls, the blocking Recv and Send
// its blocking ones.
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/tls.h"

namespace platform {
namespace {

TlsFailure FailureForVerifyResult(long result) {
  switch (result) {
    case X509_V_OK:
      return TlsFailure::kHandshake;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      return TlsFailure::kExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return TlsFailure::kNotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return TlsFailure::kNameMismatch;
    default:
      return TlsFailure::kUntrusted;
  }
}

// The hashed directory is searched by issuer when a chain is built, one small file per lookup;
// the bundle file of the system is not read at all (it costs milliseconds and about a megabyte).
void UseSystemTrust(SSL_CTX* ctx) {
  const char* dir = std::getenv(X509_get_default_cert_dir_env());
  SSL_CTX_load_verify_dir(ctx, dir != nullptr && *dir != '\0' ? dir : X509_get_default_cert_dir());
  const char* file = std::getenv(X509_get_default_cert_file_env());
  if (file != nullptr && *file != '\0') SSL_CTX_load_verify_file(ctx, file);
}

class OpenSslTransport : public TlsTransport {
 public:
  OpenSslTransport(std::unique_ptr<Transport> inner, const TlsSettings& settings)
      : inner_(std::move(inner)), pin_(settings.pin) {
    if (!inner_ || !SetUp(settings)) failure_ = TlsFailure::kHandshake;
  }

  ~OpenSslTransport() override {
    if (ssl_ != nullptr) SSL_free(ssl_);  // frees the BIO too
    if (ctx_ != nullptr) SSL_CTX_free(ctx_);
    if (method_ != nullptr) BIO_meth_free(method_);
  }

  Progress Handshake() override {
    if (failure_ != TlsFailure::kNone) return Progress::kFailed;
    if (established_) return Progress::kDone;
    ERR_clear_error();
    const int result = SSL_connect(ssl_);
    if (result == 1) {
      if (!pin_.empty() && !PinMatches()) {
        failure_ = TlsFailure::kPinMismatch;
        return Progress::kFailed;
      }
      established_ = true;
      return Progress::kDone;
    }
    switch (SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
        return Progress::kWantRead;
      case SSL_ERROR_WANT_WRITE:
        return Progress::kWantWrite;
      default:
        failure_ = FailureForVerifyResult(SSL_get_verify_result(ssl_));
        return Progress::kFailed;
    }
  }

  TlsFailure failure() const override { return failure_; }

  int Fd() const override { return inner_ ? inner_->Fd() : -1; }

  int PollReadable() override {
    if (!Usable()) return -1;
    return SSL_pending(ssl_) > 0 ? 1 : inner_->PollReadable();
  }

  int WaitReadable(int timeout_ms) override {
    if (!Usable()) return -1;
    return SSL_pending(ssl_) > 0 ? 1 : inner_->WaitReadable(timeout_ms);
  }

  long Recv(char* buf, size_t len) override {
    blocking_io_ = true;
    const long n = Read(buf, len);
    blocking_io_ = false;
    return n == -2 ? -1 : n;
  }

  long RecvNow(char* buf, size_t len) override { return Read(buf, len); }

  long Send(const char* buf, size_t len) override {
    blocking_io_ = true;
    size_t sent = 0;
    while (sent < len) {
      const long n = Write(buf + sent, len - sent);
      if (n <= 0) break;
      sent += static_cast<size_t>(n);
    }
    blocking_io_ = false;
    return sent == len || sent > 0 ? static_cast<long>(sent) : -1;
  }

  long SendNow(const char* buf, size_t len) override { return Write(buf, len); }

  // The session decides when the transport below waits; its descriptor mode stays as it is.
  void SetBlocking(bool) override {}

  void Close(bool shutdown) override {
    if (!inner_) return;
    if (shutdown && established_) {
      ERR_clear_error();
      SSL_shutdown(ssl_);  // close_notify, if it fits now; the answer is not awaited
    }
    established_ = false;
    inner_->Close(shutdown);
  }

 private:
  bool SetUp(const TlsSettings& settings) {
    ctx_ = SSL_CTX_new(TLS_client_method());
    if (ctx_ == nullptr) return false;
    SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
    SSL_CTX_set_mode(ctx_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Whole chunks from the socket, not a record header and then its body.
    SSL_CTX_set_read_ahead(ctx_, 1);
    // Many servers close without close_notify: that is an end of stream, not an error.
    SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    const bool check_chain = settings.verify && settings.pin.empty();
    SSL_CTX_set_verify(ctx_, check_chain ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    if (check_chain) UseSystemTrust(ctx_);

    ssl_ = SSL_new(ctx_);
    if (ssl_ == nullptr) return false;
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl_);
    // An address is checked against the certificate's addresses and sent no server name.
    const bool is_address = X509_VERIFY_PARAM_set1_ip_asc(param, settings.host.c_str()) == 1;
    if (!is_address) {
      if (!settings.host.empty()) SSL_set_tlsext_host_name(ssl_, settings.host.c_str());
      if (check_chain) {
        X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (SSL_set1_host(ssl_, settings.host.c_str()) != 1) return false;
      }
    }
    if (settings.unix_time != 0) X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(settings.unix_time));

    method_ = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zelk transport");
    if (method_ == nullptr) return false;
    BIO_meth_set_write(method_, BioWrite);
    BIO_meth_set_read(method_, BioRead);
    BIO_meth_set_ctrl(method_, BioCtrl);
    BIO* bio = BIO_new(method_);
    if (bio == nullptr) return false;
    BIO_set_data(bio, this);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_connect_state(ssl_);
    return true;
  }

  bool Usable() const { return established_ && inner_ != nullptr; }

  bool PinMatches() const {
    const X509* cert = SSL_get0_peer_certificate(ssl_);
    if (cert == nullptr) return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &length) != 1) return false;
    return length == pin_.size() && std::memcmp(digest, pin_.data(), length) == 0;
  }

  // >0 bytes, 0 end of stream, -1 error, -2 nothing yet.
  long Read(char* buf, size_t len) {
    if (!Usable()) return -1;
    ERR_clear_error();
    size_t got = 0;
    const int result = SSL_read_ex(ssl_, buf, std::min<size_t>(len, INT_MAX), &got);
    if (result == 1) return static_cast<long>(got);
    switch (SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        return -2;
      case SSL_ERROR_ZERO_RETURN:
        return 0;
      default:
        return -1;
    }
  }

  // Bytes taken (possibly fewer than len), 0 when nothing fits now, -1 on an error.
  long Write(const char* buf, size_t len) {
    if (!Usable()) return -1;
    if (len == 0) return 0;
    ERR_clear_error();
    size_t written = 0;
    const int result = SSL_write_ex(ssl_, buf, std::min<size_t>(len, INT_MAX), &written);
    if (result == 1) return static_cast<long>(written);
    switch (SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        return 0;
      default:
        return -1;
    }
  }

  static int BioWrite(BIO* bio, const char* data, int len) {
    auto* self = static_cast<OpenSslTransport*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (len <= 0) return 0;
    const long n = self->blocking_io_ ? self->inner_->Send(data, static_cast<size_t>(len))
                                      : self->inner_->SendNow(data, static_cast<size_t>(len));
    if (n > 0) return static_cast<int>(n);
    if (n == 0 && !self->blocking_io_) {
      BIO_set_retry_write(bio);
      return -1;
    }
    return -1;
  }

  static int BioRead(BIO* bio, char* data, int len) {
    auto* self = static_cast<OpenSslTransport*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (len <= 0) return 0;
    const long n = self->blocking_io_ ? self->inner_->Recv(data, static_cast<size_t>(len))
                                      : self->inner_->RecvNow(data, static_cast<size_t>(len));
    if (n > 0) return static_cast<int>(n);
    if (n == -2) {
      BIO_set_retry_read(bio);
      return -1;
    }
    return n == 0 ? 0 : -1;
  }

  static long BioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

  std::unique_ptr<Transport> inner_;
  std::string pin_;
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  BIO_METHOD* method_ = nullptr;
  TlsFailure failure_ = TlsFailure::kNone;
  bool established_ = false;
  bool blocking_io_ = false;  // the BIO uses the transport's blocking calls
};

}  // namespace

std::unique_ptr<TlsTransport> StartTls(std::unique_ptr<Transport> connected, const TlsSettings& settings) {
  return std::make_unique<OpenSslTransport>(std::move(connected), settings);
}

}  // namespace platform
