// The checks every platform's connect makes on a host name before anything is looked up, the
// stages of a connect, and the answer a helper thread's name lookup sends back to the waiting side.
#pragma once

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
