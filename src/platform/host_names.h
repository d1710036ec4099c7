// The checks every platform's connect makes on a host name before anything is looked up, the
// stages of a connect, and the answer a helper thread's name lookup sends back to the waiting side.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/connecting.h"

namespace platform {

// Empty, or holding a blank or a control character: refused before any name is looked up.
inline bool IsRefusedHost(std::string_view host) {
  if (host.empty()) return true;
  for (char c : host) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return true;
  }
  return false;
}

// "localhost" in any letter case: always the loopback address, never looked up.
inline bool IsLocalhost(std::string_view host) {
  constexpr std::string_view kName = "localhost";
  if (host.size() != kName.size()) return false;
  for (size_t i = 0; i < host.size(); ++i) {
    if ((host[i] | 0x20) != kName[i]) return false;
  }
  return true;
}

// Digits and dots only: an IPv4 address written out, which the resolver answers without asking.
inline bool IsNumericHost(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  return true;
}

// The environment variable that turns the lookup guard on (a test run sets it).
inline constexpr const char* kLookupGuardVariable = "ZELK_LOOKUP_GUARD";

// A test run sets kLookupGuardVariable to a file path: then a name the resolver would have to ask
// a name server for is written to that file and refused without a lookup, so the run can fail on
// it. Without the variable nothing changes. True when host was refused.
inline bool RefusedByLookupGuard(const std::string& host) {
  const char* log_path = std::getenv(kLookupGuardVariable);
  if (log_path == nullptr || *log_path == '\0') return false;
  if (IsLocalhost(host) || IsNumericHost(host)) return false;
  if (std::FILE* log = std::fopen(log_path, "a")) {
    std::fprintf(log, "name lookup refused: \"%s\"\n", host.c_str());
    std::fclose(log);
  }
  return true;
}

// Where a non-blocking connect stands, and what it asks of its caller there.
enum class ConnectStage { kResolving, kConnecting, kConnected, kFailed };

inline Progress ProgressOf(ConnectStage stage) {
  switch (stage) {
    case ConnectStage::kResolving:
      return Progress::kWantRead;
    case ConnectStage::kConnecting:
      return Progress::kWantWrite;
    case ConnectStage::kConnected:
      return Progress::kDone;
    case ConnectStage::kFailed:
      break;
  }
  return Progress::kFailed;
}

// The lookup's answer on the wire: one status byte, then the IPv4 address.
struct LookupAnswer {
  unsigned char found = 0;
  unsigned char address[4] = {};
};

}  // namespace platform
