// TcpLink: one polled connection with a receive buffer whose line ends are folded to a single CR
// on arrival. One carries the caller, one the IRC server.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "net/caller_stream.h"
#include "net/output_queue.h"
#include "platform/transport.h"

namespace net {

class TcpLink {
 public:
  TcpLink() = default;
  ~TcpLink();
  TcpLink(const TcpLink&) = delete;
  TcpLink& operator=(const TcpLink&) = delete;

  void Init();
  void Done();
  // With close_socket true the connection is shut down and closed; otherwise it is only forgotten.
  void Close(bool close_socket);
  // An inherited caller socket, spoken to as telnet.
  bool Adopt(int socket_fd);
  // Takes over a connection opened elsewhere (a Dialer's); the link owns it from then on.
  bool Attach(std::unique_ptr<platform::Transport> transport);
  // Takes over a caller's connection made or chosen by start-up (owns: release it at the end).
  // With telnet on, the door's opening offers go out first, and the stream is decoded and
  // escaped as telnet from then on.
  bool AdoptTransport(std::unique_ptr<platform::Transport> transport, bool owns, bool telnet);
  bool IsOpen() const { return transport_ != nullptr; }
  // Moves what is readable now into the buffer, up to the read limit, without waiting. A read
  // that finds nothing returns at once, so no separate readiness test is made.
  void Poll();
  bool DataWaiting();
  std::string TakeBuffer();
  // First buffered byte; waits while the link is open; 0 when it closed with nothing left.
  char ReadChar();
  void SetBlocking(bool blocking);
  // Sends the text after anything still queued, as much as the socket takes now; the rest waits
  // in the output queue for FlushQueue (the owner's wait asks for room to write while HasQueued).
  // Never waits. False when the link is closed, has failed on the way, or was closed for passing
  // its send bounds.
  bool Send(std::string_view text);
  bool SendLine(std::string_view text);
  // Appends a line sent with SendLine in the peer's charset; empty: the line goes as it is.
  std::function<void(std::string& out, std::string_view line)> line_encoder;

  // Queued output, for a peer that may read slower than we write: Queue only appends; FlushQueue
  // sends what the socket takes now without waiting and tells whether everything has gone. A
  // write that fails closes the link like a failed read (the peer has gone); output queued on a
  // closed link is dropped silently.
  void Queue(std::string_view text);
  bool FlushQueue();
  bool HasQueued() const { return !out_.empty(); }
  size_t QueuedBytes() const { return out_.size(); }
  OutputQueue& output_queue() { return out_; }

  // Bounds on output the peer does not take, for a link whose every byte matters (the IRC server:
  // nothing is ever dropped from its queue). More than max_queued bytes waiting closes the link
  // at once; output waiting with none of it taken for max_stall_ms closes it at the next
  // CheckSendProgress. Either way the link counts as failed, and TakeSendFailure says why.
  enum class SendFailure { kNone, kTooMuchQueued, kNoProgress };
  void SetSendBounds(size_t max_queued, int64_t max_stall_ms);
  // Sends what the socket takes now and applies the stall bound at this moment on the monotonic
  // clock. Returns the milliseconds until the bound can next be passed (0: now), or -1 while
  // nothing waits to be sent, so that an idle link never wakes the owner.
  int64_t CheckSendProgress(int64_t now_ms);
  // Why the link was last closed by a send bound (kNone: it was not); cleared by the call.
  SendFailure TakeSendFailure() { return std::exchange(send_failure_, SendFailure::kNone); }

  // Poll stops reading once this much waits unconsumed (the rest stays in the socket). A link
  // consumed a byte at a time (ReadChar) wants a small one.
  void SetReadLimit(size_t bytes) { read_limit_ = bytes; }

  // How the link ended when it closed itself: a read found the end of the stream (kClosed) or a
  // failure (kError, with the system's error number). kOk while open, and after the owner's Close.
  const platform::IoResult& end() const { return end_; }

  std::string& Buffer() { return buffer_; }
  bool OwnsSocket() const { return owns_socket_; }
  // Descriptor to wait on, -1 when closed.
  int Fd() const { return transport_ ? transport_->Fd() : -1; }
  // Descriptor to wait on for room to write (another one when keys and screen are apart).
  int WriteFd() const { return transport_ ? transport_->WriteFd() : -1; }

 private:
  void Append(const char* data, size_t len);
  void AppendWithoutNul(const char* data, size_t len);
  // Send without the caller stream's encoding (done already).
  bool SendEncoded(std::string_view text);
  // Counts bytes the transport took, for the stall bound.
  void Sent(size_t bytes) { sent_total_ += bytes; }
  // A send bound was passed: the link is closed and remembers why.
  void FailSends(SendFailure why);
  // Received bytes through the caller stream's decoding, then Append.
  void Receive(const char* data, size_t len);

  std::string buffer_;
  bool owns_socket_ = false;
  size_t read_limit_ = 256 * 1024;
  bool last_was_cr_ = false;  // the last byte received was a CR, so a leading LF folds into it
  std::unique_ptr<platform::Transport> transport_;
  platform::IoResult end_ = platform::IoResult::Moved(0);
  OutputQueue out_;
  CallerStream stream_;
  std::string decoded_;  // Receive's and Queue's scratch, reused
  // Send bounds (0: none) and the stall measured by CheckSendProgress.
  size_t max_queued_ = 0;
  int64_t max_stall_ms_ = 0;
  uint64_t sent_total_ = 0;           // bytes the transport has taken since the link was made
  uint64_t sent_at_stall_start_ = 0;  // sent_total_ when the present wait for progress began
  int64_t stall_start_ms_ = -1;       // -1: nothing was waiting at the last check
  SendFailure send_failure_ = SendFailure::kNone;
};

}  // namespace net
