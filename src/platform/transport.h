// A small byte transport under a TcpLink: a socket (inherited or connected), TLS over one of those
// (platform/tls.h), or standard input/output for BBSes that hand the caller over that way.
// Everything above it (TcpLink, the caller stream, the server line reader) sees only bytes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// What one read or write did.
enum class IoStatus {
  kOk,          // bytes moved (more than 0)
  kWouldBlock,  // nothing to read yet, or no room to write now
  kClosed,      // end of stream (reads only)
  kError,       // the connection has failed or the peer has gone
};

struct IoResult {
  IoStatus status = IoStatus::kError;
  size_t bytes = 0;  // bytes moved when status is kOk
  int error = 0;     // with kError: the system's error number when it gave one, else 0

  bool ok() const { return status == IoStatus::kOk; }
  static IoResult Moved(size_t n) { return {IoStatus::kOk, n}; }
  static IoResult Of(IoStatus status) { return {status, 0}; }
  static IoResult Failed(int error) { return {IoStatus::kError, 0, error}; }
};

// The system's words for an error number of IoResult ("Connection reset by peer"), without a
// final full stop; empty for 0.
std::string ErrorText(int error);

enum class Readiness {
  kReady,    // data, end of stream or an error waits to be read
  kTimeout,  // the time passed first (or a signal interrupted the wait)
  kError,    // nothing to wait on
};

class Transport {
 public:
  virtual ~Transport() = default;
  // Descriptor to wait on, or -1.
  virtual int Fd() const = 0;
  // Descriptor to wait on for room to write, when writes go elsewhere than reads.
  virtual int WriteFd() const { return Fd(); }
  // Blocks until readable or timeout_ms passes (negative: no limit).
  virtual Readiness WaitReadable(int timeout_ms) = 0;
  // Waits for data: kOk, kClosed or kError.
  virtual IoResult Recv(char* buf, size_t len) = 0;
  // Reads what is there now without waiting: kOk, kWouldBlock, kClosed or kError.
  virtual IoResult RecvNow(char* buf, size_t len) = 0;
  // Writes, waiting for room as needed: kOk with the bytes taken (all of them for a socket; a
  // layer above may take fewer, and the caller resumes with the rest), or kError. Interrupted
  // calls are resumed; never raises SIGPIPE.
  virtual IoResult Send(const char* buf, size_t len) = 0;
  // Writes what fits now without waiting: kOk, kWouldBlock (nothing fits) or kError. The
  // descriptor's own blocking mode is left as it is (a handed-over socket is shared).
  virtual IoResult SendNow(const char* buf, size_t len) = 0;
  virtual void SetBlocking(bool blocking) = 0;
  // Releases the connection: with shutdown true it is shut down in both directions and closed,
  // otherwise a handed-over socket is only forgotten (it stays usable by its owner) and the
  // door's own connection is closed.
  virtual void Close(bool shutdown) = 0;
};

// A stream socket the process already holds (TCP or Unix-domain, e.g. inherited from a BBS).
std::unique_ptr<Transport> AdoptSocket(int fd);

// A stream socket this process opened itself: closed when the transport is dropped.
std::unique_ptr<Transport> OwnSocket(int fd);

}  // namespace platform
