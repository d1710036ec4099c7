// TLS with OpenSSL. The session reads and writes through a small BIO over the connected
// transport below it, so OpenSSL never touches the descriptor itself: handshake steps and
// reads that find nothing use the transport's non-blocking calls, the blocking Recv and Send
// its blocking ones.
//
// The library is loaded when the first TLS connection starts, not linked: a door on a plain
// network never maps it (about half a megabyte of private memory and 1.8 MB of resident pages).
// Every OpenSSL function used is in the table below; the macros of its headers are written out
// as the calls they stand for.
#include <dlfcn.h>
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

#define ZELK_OPENSSL_FUNCTIONS(X)    \
  X(BIO_clear_flags)                 \
  X(BIO_get_data)                    \
  X(BIO_get_new_index)               \
  X(BIO_meth_free)                   \
  X(BIO_meth_new)                    \
  X(BIO_meth_set_ctrl)               \
  X(BIO_meth_set_read)               \
  X(BIO_meth_set_write)              \
  X(BIO_new)                         \
  X(BIO_set_data)                    \
  X(BIO_set_flags)                   \
  X(BIO_set_init)                    \
  X(ERR_clear_error)                 \
  X(EVP_sha256)                      \
  X(SSL_CTX_ctrl)                    \
  X(SSL_CTX_free)                    \
  X(SSL_CTX_load_verify_dir)         \
  X(SSL_CTX_load_verify_file)        \
  X(SSL_CTX_new)                     \
  X(SSL_CTX_set_options)             \
  X(SSL_CTX_set_verify)              \
  X(SSL_connect)                     \
  X(SSL_ctrl)                        \
  X(SSL_free)                        \
  X(SSL_get0_param)                  \
  X(SSL_get0_peer_certificate)       \
  X(SSL_get_error)                   \
  X(SSL_get_verify_result)           \
  X(SSL_new)                         \
  X(SSL_pending)                     \
  X(SSL_read_ex)                     \
  X(SSL_set1_host)                   \
  X(SSL_set_bio)                     \
  X(SSL_set_connect_state)           \
  X(SSL_shutdown)                    \
  X(SSL_write_ex)                    \
  X(TLS_client_method)               \
  X(X509_VERIFY_PARAM_set1_ip_asc)   \
  X(X509_VERIFY_PARAM_set_hostflags) \
  X(X509_VERIFY_PARAM_set_time)      \
  X(X509_digest)                     \
  X(X509_get_default_cert_dir)       \
  X(X509_get_default_cert_dir_env)   \
  X(X509_get_default_cert_file_env)

// The OpenSSL functions, looked up once in the loaded library; immutable afterwards.
struct OpenSsl {
#define ZELK_DECLARE(name) decltype(&::name) name = nullptr;
  ZELK_OPENSSL_FUNCTIONS(ZELK_DECLARE)
#undef ZELK_DECLARE
  bool loaded = false;
};

OpenSsl LoadOpenSsl() {
  OpenSsl api;
  // Never unloaded: OpenSSL keeps itself resident once initialised.
  void* library = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) return api;
  bool all = true;
#define ZELK_LOOK_UP(name)                                               \
  api.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  all = all && api.name != nullptr;
  ZELK_OPENSSL_FUNCTIONS(ZELK_LOOK_UP)
#undef ZELK_LOOK_UP
  api.loaded = all;
  return api;
}

// Loaded by the first TLS connection of the run.
const OpenSsl& Api() {
  static const OpenSsl api = LoadOpenSsl();
  return api;
}

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
void UseSystemTrust(const OpenSsl& ssl, SSL_CTX* ctx) {
  const char* dir = std::getenv(ssl.X509_get_default_cert_dir_env());
  ssl.SSL_CTX_load_verify_dir(ctx, dir != nullptr && *dir != '\0' ? dir : ssl.X509_get_default_cert_dir());
  const char* file = std::getenv(ssl.X509_get_default_cert_file_env());
  if (file != nullptr && *file != '\0') ssl.SSL_CTX_load_verify_file(ctx, file);
}

class OpenSslTransport : public TlsTransport {
 public:
  OpenSslTransport(std::unique_ptr<Transport> inner, const TlsSettings& settings)
      : inner_(std::move(inner)), pin_(settings.pin) {
    if (!api_.loaded) {
      failure_ = TlsFailure::kNoLibrary;
    } else if (!inner_ || !SetUp(settings)) {
      failure_ = TlsFailure::kHandshake;
    }
  }

  ~OpenSslTransport() override {
    if (ssl_ != nullptr) api_.SSL_free(ssl_);  // frees the BIO too
    if (ctx_ != nullptr) api_.SSL_CTX_free(ctx_);
    if (method_ != nullptr) api_.BIO_meth_free(method_);
  }

  Progress Handshake() override {
    if (failure_ != TlsFailure::kNone) return Progress::kFailed;
    if (established_) return Progress::kDone;
    api_.ERR_clear_error();
    const int result = api_.SSL_connect(ssl_);
    if (result == 1) {
      if (!pin_.empty() && !PinMatches()) {
        failure_ = TlsFailure::kPinMismatch;
        return Progress::kFailed;
      }
      established_ = true;
      return Progress::kDone;
    }
    switch (api_.SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
        return Progress::kWantRead;
      case SSL_ERROR_WANT_WRITE:
        return Progress::kWantWrite;
      default:
        failure_ = FailureForVerifyResult(api_.SSL_get_verify_result(ssl_));
        return Progress::kFailed;
    }
  }

  TlsFailure failure() const override { return failure_; }

  int Fd() const override { return inner_ ? inner_->Fd() : -1; }

  Readiness WaitReadable(int timeout_ms) override {
    if (!Usable()) return Readiness::kError;
    return api_.SSL_pending(ssl_) > 0 ? Readiness::kReady : inner_->WaitReadable(timeout_ms);
  }

  IoResult Recv(char* buf, size_t len) override {
    blocking_io_ = true;
    const IoResult result = Read(buf, len);
    blocking_io_ = false;
    return result.status == IoStatus::kWouldBlock ? IoResult::Of(IoStatus::kError) : result;
  }

  IoResult RecvNow(char* buf, size_t len) override { return Read(buf, len); }

  // Whole records until everything is taken or the session fails; what was taken before a
  // failure is reported, and the caller's next send reports the failure.
  IoResult Send(const char* buf, size_t len) override {
    blocking_io_ = true;
    size_t sent = 0;
    while (sent < len) {
      const IoResult result = Write(buf + sent, len - sent);
      if (!result.ok()) break;
      sent += result.bytes;
    }
    blocking_io_ = false;
    return sent == len || sent > 0 ? IoResult::Moved(sent) : IoResult::Of(IoStatus::kError);
  }

  IoResult SendNow(const char* buf, size_t len) override { return Write(buf, len); }

  // The session decides when the transport below waits; its descriptor mode stays as it is.
  void SetBlocking(bool) override {}

  void Close(bool shutdown) override {
    if (!inner_) return;
    if (shutdown && established_) {
      api_.ERR_clear_error();
      api_.SSL_shutdown(ssl_);  // close_notify, if it fits now; the answer is not awaited
    }
    established_ = false;
    inner_->Close(shutdown);
  }

 private:
  bool SetUp(const TlsSettings& settings) {
    ctx_ = api_.SSL_CTX_new(api_.TLS_client_method());
    if (ctx_ == nullptr) return false;
    api_.SSL_CTX_ctrl(ctx_, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
    api_.SSL_CTX_ctrl(ctx_, SSL_CTRL_MODE,
                      SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER, nullptr);
    // Whole chunks from the socket, not a record header and then its body.
    api_.SSL_CTX_ctrl(ctx_, SSL_CTRL_SET_READ_AHEAD, 1, nullptr);
    // Many servers close without close_notify: that is an end of stream, not an error.
    api_.SSL_CTX_set_options(ctx_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    const bool check_chain = settings.verify && settings.pin.empty();
    api_.SSL_CTX_set_verify(ctx_, check_chain ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
    if (check_chain) UseSystemTrust(api_, ctx_);

    ssl_ = api_.SSL_new(ctx_);
    if (ssl_ == nullptr) return false;
    X509_VERIFY_PARAM* param = api_.SSL_get0_param(ssl_);
    // An address is checked against the certificate's addresses and sent no server name.
    const bool is_address = api_.X509_VERIFY_PARAM_set1_ip_asc(param, settings.host.c_str()) == 1;
    if (!is_address) {
      if (!settings.host.empty())
        api_.SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                      const_cast<char*>(settings.host.c_str()));
      if (check_chain) {
        api_.X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        if (api_.SSL_set1_host(ssl_, settings.host.c_str()) != 1) return false;
      }
    }
    if (settings.unix_time != 0)
      api_.X509_VERIFY_PARAM_set_time(param, static_cast<time_t>(settings.unix_time));

    method_ = api_.BIO_meth_new(api_.BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "zelk transport");
    if (method_ == nullptr) return false;
    api_.BIO_meth_set_write(method_, BioWrite);
    api_.BIO_meth_set_read(method_, BioRead);
    api_.BIO_meth_set_ctrl(method_, BioCtrl);
    BIO* bio = api_.BIO_new(method_);
    if (bio == nullptr) return false;
    api_.BIO_set_data(bio, this);
    api_.BIO_set_init(bio, 1);
    api_.SSL_set_bio(ssl_, bio, bio);
    api_.SSL_set_connect_state(ssl_);
    return true;
  }

  bool Usable() const { return established_ && inner_ != nullptr; }

  bool PinMatches() const {
    const X509* cert = api_.SSL_get0_peer_certificate(ssl_);
    if (cert == nullptr) return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (api_.X509_digest(cert, api_.EVP_sha256(), digest, &length) != 1) return false;
    return length == pin_.size() && std::memcmp(digest, pin_.data(), length) == 0;
  }

  IoResult Read(char* buf, size_t len) {
    if (!Usable()) return IoResult::Of(IoStatus::kError);
    api_.ERR_clear_error();
    size_t got = 0;
    const int result = api_.SSL_read_ex(ssl_, buf, std::min<size_t>(len, INT_MAX), &got);
    if (result == 1) return IoResult::Moved(got);
    switch (api_.SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        return IoResult::Of(IoStatus::kWouldBlock);
      case SSL_ERROR_ZERO_RETURN:
        return IoResult::Of(IoStatus::kClosed);
      default:
        // The socket's own failure under the session, when that is what ended it.
        return IoResult::Failed(inner_error_);
    }
  }

  // Bytes taken (possibly fewer than len), kWouldBlock when nothing fits now.
  IoResult Write(const char* buf, size_t len) {
    if (!Usable()) return IoResult::Of(IoStatus::kError);
    if (len == 0) return IoResult::Of(IoStatus::kWouldBlock);
    api_.ERR_clear_error();
    size_t written = 0;
    const int result = api_.SSL_write_ex(ssl_, buf, std::min<size_t>(len, INT_MAX), &written);
    if (result == 1) return IoResult::Moved(written);
    switch (api_.SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        return IoResult::Of(IoStatus::kWouldBlock);
      default:
        return IoResult::Of(IoStatus::kError);
    }
  }

  static int BioWrite(BIO* bio, const char* data, int len) {
    auto* self = static_cast<OpenSslTransport*>(Api().BIO_get_data(bio));
    self->api_.BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
    if (len <= 0) return 0;
    const IoResult r = self->blocking_io_ ? self->inner_->Send(data, static_cast<size_t>(len))
                                          : self->inner_->SendNow(data, static_cast<size_t>(len));
    if (r.ok()) return static_cast<int>(r.bytes);
    if (r.status == IoStatus::kWouldBlock)
      self->api_.BIO_set_flags(bio, BIO_FLAGS_WRITE | BIO_FLAGS_SHOULD_RETRY);
    return -1;
  }

  static int BioRead(BIO* bio, char* data, int len) {
    auto* self = static_cast<OpenSslTransport*>(Api().BIO_get_data(bio));
    self->api_.BIO_clear_flags(bio, BIO_FLAGS_RWS | BIO_FLAGS_SHOULD_RETRY);
    if (len <= 0) return 0;
    const IoResult r = self->blocking_io_ ? self->inner_->Recv(data, static_cast<size_t>(len))
                                          : self->inner_->RecvNow(data, static_cast<size_t>(len));
    if (r.ok()) return static_cast<int>(r.bytes);
    if (r.status == IoStatus::kWouldBlock) {
      self->api_.BIO_set_flags(bio, BIO_FLAGS_READ | BIO_FLAGS_SHOULD_RETRY);
      return -1;
    }
    self->inner_error_ = r.error;
    return r.status == IoStatus::kClosed ? 0 : -1;
  }

  static long BioCtrl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

  const OpenSsl& api_ = Api();
  std::unique_ptr<Transport> inner_;
  std::string pin_;
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  BIO_METHOD* method_ = nullptr;
  TlsFailure failure_ = TlsFailure::kNone;
  bool established_ = false;
  bool blocking_io_ = false;  // the BIO uses the transport's blocking calls
  int inner_error_ = 0;       // the error number of the socket's last failed read
};

}  // namespace

bool TlsAvailable() {
  return Api().loaded;
}

std::unique_ptr<TlsTransport> StartTls(std::unique_ptr<Transport> connected, const TlsSettings& settings) {
  return std::make_unique<OpenSslTransport>(std::move(connected), settings);
}

}  // namespace platform
