// A private ngircd (the Debian package's /usr/sbin/ngircd) for tests that need a real IRC server.
// Start() copies a configuration file with its "Ports =" line set to a free port on 127.0.0.1
// into a world-readable temporary directory (ngircd started as root switches to nobody), starts
// the server in the foreground and waits, at most 10 s, until the port accepts. The process is
// stopped by Stop() or the destructor.
//
//   TEST(Something, AgainstNgircd) {
//     if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
//     NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
//     ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
//     ... connect to 127.0.0.1:ngircd.port() ...
//   }
//
// The repository's tests/data/ngircd.conf turns PAM and flood throttling off and sets a one-line
// message of the day, so registration ends with 376.
#pragma once

#include <string>

#include "support/child_process.h"

namespace testsupport {

class NgircdServer {
 public:
  static constexpr const char* kBinary = "/usr/sbin/ngircd";
  static bool Available();

  explicit NgircdServer(std::string conf_template);
  ~NgircdServer();
  NgircdServer(const NgircdServer&) = delete;
  NgircdServer& operator=(const NgircdServer&) = delete;

  // False when the binary or the configuration is missing, the server exits, or the port does
  // not accept within 10 s.
  bool Start();
  // Stops the server with SIGTERM, as an administrator's restart does (SIGKILL after 3 s).
  void Stop();
  // Kills it with SIGKILL: no goodbye to its clients.
  void Kill();
  // After Stop or Kill: starts it again on the same ports, with the same configuration.
  bool Restart();
  int port() const { return port_; }
  // Before Start: the server also speaks TLS on a second free port with this certificate and key
  // (files readable by user nobody).
  void EnableTls(std::string cert_file, std::string key_file);
  int tls_port() const { return tls_port_; }
  // What the server wrote to its standard output and error so far (for failure messages).
  std::string Log() const;

 private:
  // Forks and execs the server on the configuration in dir_, and waits until its ports accept.
  bool Launch();

  std::string conf_template_;
  std::string dir_;
  int port_ = 0;
  int tls_port_ = 0;
  std::string cert_file_;
  std::string key_file_;
  ChildProcess process_;
};

}  // namespace testsupport
