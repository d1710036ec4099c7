#include "support/certificate.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {
namespace {

// Runs a shell command and returns its standard output ("" on failure).
std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[256];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return pclose(pipe) == 0 ? out : std::string();
}

}  // namespace

TestCertificate::TestCertificate(std::string_view common_name, std::string_view san) {
  std::string pattern = "/tmp/zelk_cert_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return;
  dir_ = pattern;
  chmod(dir_.c_str(), 0755);
  cert_file_ = dir_ + "/cert.pem";
  key_file_ = dir_ + "/key.pem";
  const std::string made =
      Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -keyout " +
          key_file_ + " -out " + cert_file_ + " -subj /CN=" + std::string(common_name) +
          " -addext subjectAltName=" + std::string(san) + " 2>/dev/null && echo made");
  if (made.find("made") == std::string::npos) return;
  chmod(cert_file_.c_str(), 0644);
  chmod(key_file_.c_str(), 0644);
  // "sha256 Fingerprint=AB:CD:..." (the label's case differs between versions).
  const std::string printed = Run("openssl x509 -noout -fingerprint -sha256 -in " + cert_file_);
  const size_t equals = printed.find('=');
  if (equals == std::string::npos) return;
  fingerprint_ = printed.substr(equals + 1);
  while (!fingerprint_.empty() && (fingerprint_.back() == '\n' || fingerprint_.back() == '\r')) {
    fingerprint_.pop_back();
  }
}

TestCertificate::~TestCertificate() {
  if (dir_.empty()) return;
  std::remove(cert_file_.c_str());
  std::remove(key_file_.c_str());
  rmdir(dir_.c_str());
}

}  // namespace testsupport
