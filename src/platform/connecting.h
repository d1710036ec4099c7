// Opening a server connection without blocking: each step does what can be done now and says
// what it waits for, so that the caller's one wait can watch the connection beside everything
// else and give up at a deadline of its own.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/transport.h"

namespace platform {

// How far a non-blocking step has got.
enum class Progress { kDone, kWantRead, kWantWrite, kFailed };

// A TCP connection being opened: the host name resolved (a numeric IPv4 address at once, a name
// on a helper thread whose answer arrives on a descriptor), then a non-blocking connect.
class TcpConnecting {
 public:
  virtual ~TcpConnecting() = default;
  // Advances as far as possible without waiting. Safe to call at any time; after kDone or
  // kFailed it keeps returning that.
  virtual Progress Continue() = 0;
  // Descriptor that the wanted readiness is awaited on; -1 once done or failed.
  virtual int Fd() const = 0;
  // The connected socket (blocking, as a plain connect leaves it) after kDone, else nullptr.
  virtual std::unique_ptr<Transport> Take() = 0;
};

// Looks a host name up (blocking): true with the first IPv4 address in address.
using NameLookup = bool (*)(const std::string& host, unsigned char (&address)[4]);
// The system's resolver (getaddrinfo).
bool SystemNameLookup(const std::string& host, unsigned char (&address)[4]);

// Starts opening a TCP connection to host (IPv4 only; the first address found) and port. A host
// that is empty or holds a blank or a control character is refused before any name is looked up:
// the first Continue returns kFailed. A numeric address and "localhost" (always the loopback
// address) need no lookup; any other name is looked up with lookup on a helper thread.
std::unique_ptr<TcpConnecting> StartTcpConnect(std::string_view host, int port,
                                               NameLookup lookup = SystemNameLookup);

}  // namespace platform
