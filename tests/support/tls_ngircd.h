// A private ngircd that speaks TLS as well, on a second free port, with a certificate for
// "localhost" made for it by the openssl command: the server of the tests that connect over TLS.
//
//   if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
//   TlsNgircd ngircd;
//   ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
//   const ScopedEnv trust = ngircd.Trust();
//   ... "[Secure]\nlocalhost=" + ngircd.TlsPortEntry() ...
#pragma once

#include <memory>
#include <string>

#include "support/certificate.h"
#include "support/ngircd.h"
#include "support/scoped_env.h"

namespace testsupport {

class TlsNgircd {
 public:
  // With the repository's tests/data/ngircd.conf.
  TlsNgircd();
  explicit TlsNgircd(std::string conf_template);

  // A started server for a whole suite, or null when ngircd is missing, the certificate could not
  // be made or the server did not start (the suite's tests skip then).
  static std::unique_ptr<TlsNgircd> StartOrNull();

  // False when the certificate could not be made or the server did not start (Log says which).
  bool Start();
  std::string Log() const;

  NgircdServer& server() { return server_; }
  int port() const { return server_.port(); }
  int tls_port() const { return server_.tls_port(); }
  // The TLS port as a server entry of the INI file names it: "+6697".
  std::string TlsPortEntry() const { return "+" + std::to_string(server_.tls_port()); }
  const TestCertificate& certificate() const { return certificate_; }
  // While the returned object lives, the certificate is trusted (TestCertificate::Trust).
  ScopedEnv Trust() const { return certificate_.Trust(); }

 private:
  TestCertificate certificate_{"localhost", "DNS:localhost"};
  NgircdServer server_;
};

}  // namespace testsupport
