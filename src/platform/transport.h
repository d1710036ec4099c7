// A small byte transport under a TcpLink: today a socket; later TLS for the IRC link and standard
// input/output for BBSes that hand the caller over that way.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace platform {

class Transport {
 public:
  virtual ~Transport() = default;
  // Descriptor to wait on, or -1.
  virtual int Fd() const = 0;
  // Descriptor to wait on for room to write, when writes go elsewhere than reads.
  virtual int WriteFd() const { return Fd(); }
  // Zero-time readiness test: -1 error, 0 nothing to read, 1 readable (data or end of stream).
  virtual int PollReadable() = 0;
  // Blocks until readable or timeout_ms passes (negative: no limit). Same results as PollReadable.
  virtual int WaitReadable(int timeout_ms) = 0;
  // >0 bytes read, 0 end of stream, -1 error.
  virtual long Recv(char* buf, size_t len) = 0;
  // Bytes written or -1; never raises SIGPIPE.
  virtual long Send(const char* buf, size_t len) = 0;
  // Writes what fits now without waiting: bytes written, 0 when nothing fits, -1 on an error.
  // The descriptor's own blocking mode is left as it is (a handed-over socket is shared).
  virtual long SendNow(const char* buf, size_t len) = 0;
  // Reads what is there now without waiting: >0 bytes read, 0 end of stream, -1 error, -2 nothing
  // to read yet.
  virtual long RecvNow(char* buf, size_t len) = 0;
  virtual void SetBlocking(bool blocking) = 0;
  // Releases the connection: with shutdown true it is shut down in both directions and closed,
  // otherwise it is only forgotten (a handed-over socket stays usable by its owner).
  virtual void Close(bool shutdown) = 0;
};

// A stream socket the process already holds (TCP or Unix-domain, e.g. inherited from a BBS).
std::unique_ptr<Transport> AdoptSocket(int fd);

// A stream socket this process opened itself: closed when the transport is dropped.
std::unique_ptr<Transport> OwnSocket(int fd);

// Resolves host (IPv4 only) and connects a TCP socket to it, blocking. nullptr when the name
// does not resolve or the connection is refused.
std::unique_ptr<Transport> ConnectTcp(std::string_view host, int port);

}  // namespace platform
