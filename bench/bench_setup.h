// What the parts of the door benchmark share: the INI file of a door on a loopback network, the
// certificate of the TLS rows, and the plain figures that other rows are shown beside.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/certificate.h"

namespace bench {

using SteadyClock = std::chrono::steady_clock;

inline double MsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
}

// The certificate of the TLS rows, made once; the doors trust it by its pinned fingerprint.
inline const testsupport::TestCertificate& BenchCertificate() {
  static const testsupport::TestCertificate cert("localhost", "DNS:localhost");
  return cert;
}

// A door on one network at 127.0.0.1:port (a TLS port, +port, when tls is true).
inline std::string IniFor(int port, bool tls = false, std::string_view network_extra = "") {
  std::string ini = "[general]\nusername=Joe Smith\nhandle=Wolf\nserver=1\n[Local]\n127.0.0.1=";
  if (tls) ini += "+";
  ini += std::to_string(port) + "\n";
  if (tls) ini += "tlsfingerprint=" + BenchCertificate().fingerprint() + "\n";
  return ini + std::string(network_extra);
}

// Figures of the plain door that the TLS rows are shown beside.
struct PlainFigures {
  int64_t idle_private_kb = 0;
};

}  // namespace bench
