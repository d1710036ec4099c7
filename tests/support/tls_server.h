// The server end of a TLS connection for tests and the benchmark: accepts one connection on a listening
// socket and speaks TLS with a certificate from files, without blocking once the handshake is done.
#pragma once

#include <string>
#include <string_view>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace testsupport {

class TlsServer {
 public:
  TlsServer(const std::string& cert_file, const std::string& key_file);
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  // Accepts and completes the handshake within timeout_ms; false otherwise.
  bool Accept(int listener, int timeout_ms);
  int fd() const { return fd_; }
  // Decrypted bytes available now: >0 bytes, 0 nothing yet, -1 closed or failed.
  long ReadNow(char* buf, size_t len);
  // Takes as much of data as fits now: bytes taken, 0 when nothing fits, -1 on an error.
  long WriteNow(std::string_view data);
  // The records that writing data would send, made now and not sent: written to the socket as
  // they are later, they carry data, so that a timed burst costs the server no encryption.
  std::string Encrypt(std::string_view data);

 private:
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  int fd_ = -1;
};

}  // namespace testsupport
