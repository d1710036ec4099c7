// TLS for the server link: a client session that sits between a connected byte transport and the
// TcpLink above it, and is itself a Transport. The handshake runs in non-blocking steps so that
// the caller's one wait watches it; afterwards reads and writes behave like a socket's.
//
// This interface is all the rest of the program sees of the TLS library; each platform supplies
// StartTls (OpenSSL here).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/connecting.h"
#include "platform/transport.h"

namespace platform {

// Why a handshake was refused.
enum class TlsFailure {
  kNone,
  kUntrusted,       // the chain does not lead to a trusted certificate (self-signed, unknown issuer)
  kExpired,         // a certificate in the chain has expired
  kNotYetValid,     // a certificate in the chain is not valid yet
  kNameMismatch,    // the certificate is for another host name or address
  kPinMismatch,     // the certificate is not the pinned one
  kHandshake,       // anything else: protocol error, no common cipher, connection lost
  kNoLibrary,       // the TLS library is not installed
  kNotInThisBuild,  // this build of the door has no TLS at all
};

struct TlsSettings {
  // The server's name as the user wrote it: sent in the server name indication (unless it is an
  // address) and, when verifying, the name the certificate must carry.
  std::string host{};
  // Check the chain against the system's trusted certificates and the name against host.
  bool verify = true;
  // SHA-256 of the server certificate (32 bytes, DER encoding) or empty. When set, the
  // certificate must be exactly this one, and nothing else about it is checked.
  std::string pin{};
  // Seconds since 1970 that validity is checked against; 0: the current time.
  int64_t unix_time = 0;
};

class TlsTransport : public Transport {
 public:
  // One step of the handshake: kDone when the session is up (and the certificate accepted),
  // kWantRead / kWantWrite when it waits for the descriptor, kFailed with failure() set.
  virtual Progress Handshake() = 0;
  virtual TlsFailure failure() const = 0;
};

// The door can make TLS connections: this build has TLS and its library is there (loading it on
// Linux). Asked only where a server wants TLS of a plain link.
bool TlsAvailable();

// Starts a client session over a connected transport. Trusted certificates are looked up in the
// hashed directory of the system (or SSL_CERT_DIR) only when a chain is checked, never loaded as
// a whole; a file named by SSL_CERT_FILE is loaded as well.
std::unique_ptr<TlsTransport> StartTls(std::unique_ptr<Transport> connected, const TlsSettings& settings);

}  // namespace platform
