// Self-signed test certificates made with the openssl command, in a fresh world-readable
// temporary directory (a private ngircd reads them as user nobody), removed with the object.
#pragma once

#include <string>
#include <string_view>

#include "support/scoped_env.h"

namespace testsupport {

class TestCertificate {
 public:
  // A P-256 key and a certificate for common_name with the subject alternative names san
  // (openssl syntax, e.g. "DNS:localhost"), valid for two days from now.
  TestCertificate(std::string_view common_name, std::string_view san);
  ~TestCertificate();
  TestCertificate(const TestCertificate&) = delete;
  TestCertificate& operator=(const TestCertificate&) = delete;

  // False when the openssl command failed.
  bool ok() const { return !fingerprint_.empty(); }
  const std::string& cert_file() const { return cert_file_; }
  const std::string& key_file() const { return key_file_; }
  // SHA-256 of the certificate as openssl prints it: upper-case hex pairs joined by colons.
  const std::string& fingerprint() const { return fingerprint_; }
  // While the returned object lives, OpenSSL in this process and in the doors started from it
  // trusts this certificate (SSL_CERT_FILE), as a system that installed it would.
  ScopedEnv Trust() const { return ScopedEnv("SSL_CERT_FILE", &cert_file_); }

 private:
  std::string dir_;
  std::string cert_file_;
  std::string key_file_;
  std::string fingerprint_;
};

}  // namespace testsupport
