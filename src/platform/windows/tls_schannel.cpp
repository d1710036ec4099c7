// TLS with SChannel, the system's own TLS (secur32 and crypt32; nothing to ship beside the door).
// The session never touches the socket itself: handshake tokens and records go through the
// connected transport below it, with its non-blocking calls during the handshake and for reads
// and writes that must not wait, its blocking ones otherwise.
//
// SChannel is asked to leave the certificate alone (manual validation); the checks are made here,
// once the handshake is through, with the system's certificate store: the pin (SHA-256 of the
// certificate), or the chain to a trusted root at the given time and the host name.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h brings windows.h, which the rest need first; schannel.h needs subauth.h's strings.
#include <subauth.h>
// The headers of SChannel and the certificate store.
#include <bcrypt.h>
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/tls.h"

namespace platform {
namespace {

// Received bytes not yet decrypted: the server's handshake flight, or records. A record is at
// most about 17 KB; more than this without one whole record is no TLS peer.
constexpr size_t kMaxReceived = 64 * 1024;
// A server that asks for a client certificate is answered without one, a few times at most.
constexpr int kMaxCredentialRetries = 4;

constexpr DWORD kRequestFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_USE_SUPPLIED_CREDS |
                                ISC_REQ_EXTENDED_ERROR;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

// The host as an IPv4 or IPv6 address in network order, or empty when it is a name.
std::string AddressBytes(const std::string& host) {
  unsigned char bytes[16];
  if (inet_pton(AF_INET, host.c_str(), bytes) == 1) return std::string(reinterpret_cast<char*>(bytes), 4);
  if (inet_pton(AF_INET6, host.c_str(), bytes) == 1) return std::string(reinterpret_cast<char*>(bytes), 16);
  return {};
}

FILETIME FileTimeOf(int64_t unix_seconds) {
  const uint64_t ticks = static_cast<uint64_t>(unix_seconds + 11'644'473'600LL) * 10'000'000ULL;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// The chain's verdict at `when`, before the name: kNone when it leads to a trusted root and
// every certificate in it is valid then.
TlsFailure ChainFailure(const CERT_CHAIN_CONTEXT& chain, const FILETIME& when) {
  const DWORD status = chain.TrustStatus.dwErrorStatus;
  // Revocation is not checked (no list or responder is asked), as on Linux.
  constexpr DWORD kNotChecked = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
  constexpr DWORD kTime = CERT_TRUST_IS_NOT_TIME_VALID;
  if ((status & ~(kNotChecked | kTime)) != 0) return TlsFailure::kUntrusted;
  if ((status & kTime) == 0) return TlsFailure::kNone;
  for (DWORD i = 0; i < chain.cChain; ++i) {
    const CERT_SIMPLE_CHAIN& simple = *chain.rgpChain[i];
    for (DWORD j = 0; j < simple.cElement; ++j) {
      const CERT_CHAIN_ELEMENT& element = *simple.rgpElement[j];
      if ((element.TrustStatus.dwErrorStatus & kTime) == 0) continue;
      return CompareFileTime(&when, &element.pCertContext->pCertInfo->NotBefore) < 0
                 ? TlsFailure::kNotYetValid
                 : TlsFailure::kExpired;
    }
  }
  return TlsFailure::kExpired;
}

// An address is matched against the certificate's IP address entries only.
bool CertificateHasAddress(const CERT_CONTEXT& cert, const std::string& address) {
  const CERT_EXTENSION* extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, cert.pCertInfo->cExtension, cert.pCertInfo->rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
    return false;
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
  }
  LocalFree(names);
  return found;
}

class SchannelTransport : public TlsTransport {
 public:
  SchannelTransport(std::unique_ptr<Transport> inner, const TlsSettings& settings)
      : inner_(std::move(inner)),
        host_(settings.host),
        address_(AddressBytes(settings.host)),
        verify_(settings.verify),
        pin_(settings.pin),
        unix_time_(settings.unix_time) {
    if (!inner_ || !AcquireCredentials()) failure_ = TlsFailure::kHandshake;
  }

  ~SchannelTransport() override {
    if (have_context_) DeleteSecurityContext(&context_);
    if (have_credentials_) FreeCredentialsHandle(&credentials_);
  }

  Progress Handshake() override {
    if (failure_ != TlsFailure::kNone) return Progress::kFailed;
    if (established_) return Progress::kDone;
    for (;;) {
      switch (FlushNow()) {
        case IoStatus::kOk:
          break;
        case IoStatus::kWouldBlock:
          return Progress::kWantWrite;
        default:
          return Fail(TlsFailure::kHandshake);
      }
      if (handshake_done_) {
        if (!ModernProtocol()) return Fail(TlsFailure::kHandshake);
        const TlsFailure refused = CheckCertificate();
        if (refused != TlsFailure::kNone) return Fail(refused);
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK)
          return Fail(TlsFailure::kHandshake);
        established_ = true;
        return Progress::kDone;
      }
      if (need_input_) {
        const IoStatus got = ReceiveMore(/*wait=*/false);
        if (got == IoStatus::kWouldBlock) return Progress::kWantRead;
        if (got != IoStatus::kOk) return Fail(TlsFailure::kHandshake);
      }
      if (!RecordsLookRight() || !Step()) return Fail(TlsFailure::kHandshake);
    }
  }

  TlsFailure failure() const override { return failure_; }

  int Fd() const override { return inner_ ? inner_->Fd() : -1; }

  Readiness WaitReadable(int timeout_ms) override {
    if (!Usable()) return Readiness::kError;
    if (plain_at_ < plain_.size() || (!received_.empty() && !need_input_)) return Readiness::kReady;
    return inner_->WaitReadable(timeout_ms);
  }

  IoResult Recv(char* buf, size_t len) override {
    const IoResult result = Read(buf, len, /*wait=*/true);
    return result.status == IoStatus::kWouldBlock ? IoResult::Of(IoStatus::kError) : result;
  }

  IoResult RecvNow(char* buf, size_t len) override { return Read(buf, len, /*wait=*/false); }

  // Whole records until everything is taken or the session fails; what was taken before a
  // failure is reported, and the caller's next send reports the failure.
  IoResult Send(const char* buf, size_t len) override {
    size_t sent = 0;
    while (sent < len) {
      const IoResult result = Write(buf + sent, len - sent, /*wait=*/true);
      if (!result.ok()) break;
      sent += result.bytes;
    }
    return sent > 0 || len == 0 ? IoResult::Moved(sent) : IoResult::Of(IoStatus::kError);
  }

  IoResult SendNow(const char* buf, size_t len) override { return Write(buf, len, /*wait=*/false); }

  // The session decides when the transport below waits; its socket mode stays as it is.
  void SetBlocking(bool) override {}

  void Close(bool shutdown) override {
    if (!inner_) return;
    if (shutdown && established_ && !peer_closed_) SendCloseNotify();
    established_ = false;
    inner_->Close(shutdown);
  }

 private:
  bool AcquireCredentials() {
    // TLS 1.2 or newer. SCH_CREDENTIALS (Windows 10 1809 and later) lets the system add TLS 1.3;
    // older systems know only SCHANNEL_CRED, which is given TLS 1.2 alone.
    constexpr DWORD kFlags =
        SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols = ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = kFlags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    if (Acquire(&modern)) return true;
    SCHANNEL_CRED classic{};
    classic.dwVersion = SCHANNEL_CRED_VERSION;
    classic.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    classic.dwFlags = kFlags;
    return Acquire(&classic);
  }

  bool Acquire(void* credentials) {
    TimeStamp expiry;
    const SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                  nullptr, credentials, nullptr, nullptr, &credentials_, &expiry);
    have_credentials_ = status == SEC_E_OK;
    return have_credentials_;
  }

  Progress Fail(TlsFailure failure) {
    failure_ = failure;
    return Progress::kFailed;
  }

  bool Usable() const { return established_ && inner_ != nullptr; }

  // One call of InitializeSecurityContext: the first one and the one after a shutdown request
  // without input, the others with what was received. Its tokens are queued for sending; false
  // when the handshake cannot go on.
  bool Step(bool with_input = true) {
    with_input = with_input && have_context_;
    SecBuffer in[2] = {{static_cast<unsigned long>(received_.size()), SECBUFFER_TOKEN, received_.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc in_desc{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc out_desc{SECBUFFER_VERSION, 1, out};
    // An address is sent no server name.
    std::wstring target = address_.empty() ? Wide(host_) : std::wstring();
    unsigned long attributes = 0;
    TimeStamp expiry;
    const SECURITY_STATUS status = InitializeSecurityContextW(
        &credentials_, have_context_ ? &context_ : nullptr, target.empty() ? nullptr : target.data(),
        kRequestFlags, 0, 0, with_input ? &in_desc : nullptr, 0, have_context_ ? nullptr : &context_,
        &out_desc, &attributes, &expiry);
    have_context_ = have_context_ || status >= 0;  // the first call makes the context unless it fails
    if (out[0].pvBuffer != nullptr) {
      if (out[0].cbBuffer > 0) {
        const char* token = static_cast<const char*>(out[0].pvBuffer);
        outgoing_.insert(outgoing_.end(), token, token + out[0].cbBuffer);
      }
      FreeContextBuffer(out[0].pvBuffer);
    }
    switch (status) {
      case SEC_E_INCOMPLETE_MESSAGE:
        need_input_ = true;
        return true;
      case SEC_I_INCOMPLETE_CREDENTIALS:
        // Asked for a client certificate: the same input again, answered without one.
        return ++credential_retries_ <= kMaxCredentialRetries;
      case SEC_E_OK:
      case SEC_I_CONTINUE_NEEDED:
        KeepExtra(in[1]);
        need_input_ = status == SEC_I_CONTINUE_NEEDED && received_.empty();
        handshake_done_ = status == SEC_E_OK;
        return true;
      default:
        return false;
    }
  }

  // What was received starts with a TLS record header: a content type from change_cipher_spec
  // to application_data and major version 3. A peer that is no TLS server (a plain IRC server
  // on the port) is refused at its first bytes instead of being read as the length of a record
  // that never comes.
  bool RecordsLookRight() const {
    if (received_.empty()) return true;
    const auto type = static_cast<unsigned char>(received_[0]);
    return type >= 20 && type <= 23 && (received_.size() < 2 || received_[1] == 3);
  }

  // Bytes past what the last call consumed stay for the next one.
  void KeepExtra(const SecBuffer& extra) {
    if (extra.BufferType != SECBUFFER_EXTRA || extra.cbBuffer == 0 || extra.cbBuffer > received_.size()) {
      received_.clear();
      return;
    }
    received_.erase(received_.begin(), received_.end() - extra.cbBuffer);
  }

  // Adds what the transport has (waiting for it when wait is set): kOk, kWouldBlock, kClosed or
  // kError (also for a peer that sends more than kMaxReceived without a whole record).
  IoStatus ReceiveMore(bool wait) {
    if (received_.size() >= kMaxReceived) return IoStatus::kError;
    const size_t had = received_.size();
    received_.resize(kMaxReceived);
    const IoResult got = wait ? inner_->Recv(received_.data() + had, kMaxReceived - had)
                              : inner_->RecvNow(received_.data() + had, kMaxReceived - had);
    received_.resize(had + (got.ok() ? got.bytes : 0));
    if (got.ok()) need_input_ = false;
    return got.status;
  }

  // Sends queued handshake tokens or records without waiting: kOk once all are out.
  IoStatus FlushNow() {
    while (outgoing_at_ < outgoing_.size()) {
      const IoResult sent = inner_->SendNow(outgoing_.data() + outgoing_at_, outgoing_.size() - outgoing_at_);
      if (!sent.ok()) return sent.status;
      outgoing_at_ += sent.bytes;
    }
    outgoing_.clear();
    outgoing_at_ = 0;
    return IoStatus::kOk;
  }

  bool FlushWaiting() {
    if (outgoing_at_ < outgoing_.size()) {
      const IoResult sent = inner_->Send(outgoing_.data() + outgoing_at_, outgoing_.size() - outgoing_at_);
      if (!sent.ok()) return false;
    }
    outgoing_.clear();
    outgoing_at_ = 0;
    return true;
  }

  // TLS 1.2 or newer, checked once more after the handshake: not every SChannel honours the
  // protocols the credentials allow (Wine's, on GnuTLS, goes down to TLS 1.0).
  bool ModernProtocol() {
    SecPkgContext_ConnectionInfo info{};
    if (QueryContextAttributesW(&context_, SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) return false;
    constexpr DWORD kOlder =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    return info.dwProtocol != 0 && (info.dwProtocol & kOlder) == 0;
  }

  TlsFailure CheckCertificate() {
    if (!verify_ && pin_.empty()) return TlsFailure::kNone;
    const CERT_CONTEXT* cert = nullptr;
    if (QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert) != SEC_E_OK ||
        cert == nullptr)
      return pin_.empty() ? TlsFailure::kUntrusted : TlsFailure::kPinMismatch;
    const TlsFailure failure = pin_.empty() ? ChainAndName(*cert) : PinFailure(*cert);
    CertFreeCertificateContext(cert);
    return failure;
  }

  TlsFailure PinFailure(const CERT_CONTEXT& cert) const {
    BYTE digest[32];
    DWORD length = sizeof digest;
    if (!CryptHashCertificate2(BCRYPT_SHA256_ALGORITHM, 0, nullptr, cert.pbCertEncoded, cert.cbCertEncoded,
                               digest, &length) ||
        length != pin_.size() || std::memcmp(digest, pin_.data(), length) != 0)
      return TlsFailure::kPinMismatch;
    return TlsFailure::kNone;
  }

  // The chain from the system's certificate store (the server's intermediates beside it), then
  // the name: an address among the certificate's addresses, a name by the system's SSL policy.
  TlsFailure ChainAndName(const CERT_CONTEXT& cert) const {
    FILETIME when;
    if (unix_time_ != 0) {
      when = FileTimeOf(unix_time_);
    } else {
      GetSystemTimeAsFileTime(&when);
    }
    char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {server_auth};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT* chain = nullptr;
    if (!CertGetCertificateChain(nullptr, &cert, &when, cert.hCertStore, &para, 0, nullptr, &chain))
      return TlsFailure::kUntrusted;
    TlsFailure failure = ChainFailure(*chain, when);
    if (failure == TlsFailure::kNone) {
      if (!address_.empty()) {
        if (!CertificateHasAddress(cert, address_)) failure = TlsFailure::kNameMismatch;
      } else if (!PolicyAcceptsName(*chain)) {
        failure = TlsFailure::kNameMismatch;
      }
    }
    CertFreeCertificateChain(chain);
    return failure;
  }

  bool PolicyAcceptsName(const CERT_CHAIN_CONTEXT& chain) const {
    std::wstring name = Wide(host_);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA para{};
    para.cbSize = sizeof para;
    para.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, &chain, &para, &status)) return false;
    return status.dwError == 0;
  }

  // Decrypted bytes (waiting for a record when wait is set).
  IoResult Read(char* buf, size_t len, bool wait) {
    if (!Usable()) return IoResult::Of(IoStatus::kError);
    for (;;) {
      if (plain_at_ < plain_.size()) {
        const size_t n = std::min(len, plain_.size() - plain_at_);
        std::memcpy(buf, plain_.data() + plain_at_, n);
        plain_at_ += n;
        if (plain_at_ == plain_.size()) {
          plain_.clear();
          plain_at_ = 0;
        }
        return IoResult::Moved(n);
      }
      if (peer_closed_) return IoResult::Of(IoStatus::kClosed);
      if (received_.empty() || need_input_) {
        const IoStatus got = ReceiveMore(wait);
        if (got != IoStatus::kOk) return IoResult::Of(got);
      }
      if (!RecordsLookRight() || !DecryptOne()) return IoResult::Of(IoStatus::kError);
    }
  }

  // Decrypts the first record of what was received (or learns that it needs more); false when
  // the session has failed.
  bool DecryptOne() {
    SecBuffer buffers[4] = {{static_cast<unsigned long>(received_.size()), SECBUFFER_DATA, received_.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(&context_, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      need_input_ = true;
      return true;
    }
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) return false;
    const SecBuffer* extra = nullptr;
    for (const SecBuffer& b : buffers) {
      if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
        const char* data = static_cast<const char*>(b.pvBuffer);
        plain_.insert(plain_.end(), data, data + b.cbBuffer);
      }
      if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) extra = &b;
    }
    if (extra != nullptr) {
      KeepExtra(*extra);
    } else {
      received_.clear();
    }
    if (status == SEC_I_CONTEXT_EXPIRED) peer_closed_ = true;  // close_notify
    // A post-handshake message (a TLS 1.3 session ticket or key update): the context takes it,
    // with whatever follows it, and may have an answer to send.
    if (status == SEC_I_RENEGOTIATE) return Renegotiate();
    return true;
  }

  bool Renegotiate() {
    handshake_done_ = false;
    need_input_ = false;
    while (!handshake_done_) {
      if (!Step()) return false;
      if (!handshake_done_ && need_input_) break;  // the rest arrives with the next records
    }
    handshake_done_ = false;
    return FlushWaiting();
  }

  // Encrypts one record of at most len bytes. With wait unset, a record that does not go out at
  // once stays queued and kWouldBlock is returned; the caller offers the same bytes again, and
  // they count as taken once the queued record is out.
  IoResult Write(const char* buf, size_t len, bool wait) {
    if (!Usable()) return IoResult::Of(IoStatus::kError);
    if (outgoing_at_ < outgoing_.size()) {
      if (wait ? !FlushWaiting() : FlushNow() == IoStatus::kError) return IoResult::Of(IoStatus::kError);
      if (outgoing_at_ < outgoing_.size()) return IoResult::Of(IoStatus::kWouldBlock);
      if (queued_plain_ > 0) return IoResult::Moved(std::exchange(queued_plain_, 0));
    }
    if (len == 0) return IoResult::Of(IoStatus::kWouldBlock);
    const size_t n = std::min<size_t>(len, sizes_.cbMaximumMessage);
    outgoing_.assign(sizes_.cbHeader + n + sizes_.cbTrailer, '\0');
    std::memcpy(outgoing_.data() + sizes_.cbHeader, buf, n);
    SecBuffer buffers[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, outgoing_.data()},
        {static_cast<unsigned long>(n), SECBUFFER_DATA, outgoing_.data() + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, outgoing_.data() + sizes_.cbHeader + n},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) {
      outgoing_.clear();
      return IoResult::Of(IoStatus::kError);
    }
    outgoing_.resize(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    outgoing_at_ = 0;
    if (wait) return FlushWaiting() ? IoResult::Moved(n) : IoResult::Of(IoStatus::kError);
    const IoStatus flushed = FlushNow();
    if (flushed == IoStatus::kOk) return IoResult::Moved(n);
    if (flushed == IoStatus::kError) return IoResult::Of(IoStatus::kError);
    queued_plain_ = n;
    return IoResult::Of(IoStatus::kWouldBlock);
  }

  // close_notify, if it fits now; the answer is not awaited.
  void SendCloseNotify() {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control = {sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc control_desc{SECBUFFER_VERSION, 1, &control};
    if (ApplyControlToken(&context_, &control_desc) != SEC_E_OK) return;
    outgoing_.clear();
    outgoing_at_ = 0;
    received_.clear();
    handshake_done_ = false;
    if (Step(/*with_input=*/false)) FlushNow();
  }

  std::unique_ptr<Transport> inner_;
  std::string host_;
  std::string address_;  // the host's address bytes, empty for a name
  bool verify_;
  std::string pin_;
  int64_t unix_time_;

  CredHandle credentials_{};
  CtxtHandle context_{};
  bool have_credentials_ = false;
  bool have_context_ = false;
  SecPkgContext_StreamSizes sizes_{};

  std::vector<char> received_;  // from the server, not yet taken by SChannel
  bool need_input_ = false;     // what is in received_ is not a whole message
  std::vector<char> outgoing_;  // to the server: handshake tokens or one record
  size_t outgoing_at_ = 0;
  size_t queued_plain_ = 0;  // bytes of the caller's the queued record holds
  std::string plain_;        // decrypted, not yet read
  size_t plain_at_ = 0;

  TlsFailure failure_ = TlsFailure::kNone;
  int credential_retries_ = 0;
  bool handshake_done_ = false;
  bool established_ = false;
  bool peer_closed_ = false;
};

}  // namespace

// SChannel is part of every Windows this build runs on.
bool TlsAvailable() {
  return true;
}

std::unique_ptr<TlsTransport> StartTls(std::unique_ptr<Transport> connected, const TlsSettings& settings) {
  return std::make_unique<SchannelTransport>(std::move(connected), settings);
}

}  // namespace platform
