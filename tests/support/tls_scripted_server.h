// A scripted IRC server that speaks TLS, for tests of what the door does on TLS links: it listens
// on a loopback port with a certificate from files, accepts in a thread of its own (the door
// connects from the test's thread and would wait for it otherwise), and then sends and reads
// lines. Every wait is bounded.
//
//   TlsScriptedServer server(cert.cert_file(), cert.key_file());
//   server.AcceptInBackground(5000);
//   ... the door connects to 127.0.0.1:server.port() ...
//   ASSERT_TRUE(server.Accepted(5000));
//   server.SendLine(":irc.test CAP * LS :sts=duration=300");
//   server.WaitForLine("USER ", 2000);
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace testsupport {

class TlsScriptedServer {
 public:
  TlsScriptedServer(const std::string& cert_file, const std::string& key_file);
  ~TlsScriptedServer();
  TlsScriptedServer(const TlsScriptedServer&) = delete;
  TlsScriptedServer& operator=(const TlsScriptedServer&) = delete;

  int port() const { return port_; }

  // Starts accepting one connection (closing the one before) and completing its handshake, within
  // timeout_ms, in a thread.
  void AcceptInBackground(int timeout_ms);
  // Waits for the background accept; true once a client has completed its handshake.
  bool Accepted(int timeout_ms);

  void SendLine(std::string_view line);
  // Reads lines until one starts with prefix, at most timeout_ms; the lines before it are kept in
  // lines().
  std::optional<std::string> WaitForLine(std::string_view prefix, int timeout_ms);
  const std::vector<std::string>& lines() const { return lines_; }
  void Close();

 private:
  void Join();

  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  int listen_fd_ = -1;
  int fd_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::atomic<bool> accepted_{false};
  std::atomic<bool> accept_done_{false};
  std::string pending_;
  std::vector<std::string> lines_;
  size_t returned_ = 0;
};

}  // namespace testsupport
