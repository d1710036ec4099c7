// TcpLink: one polled connection with a receive buffer whose line ends are folded to a single CR
// on arrival. One carries the caller, one the IRC server.
#pragma once

#include <memory>
#include <string>
#include <string_view>

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
  bool Connect(std::string_view host, int port);
  bool Adopt(int socket_fd);
  bool IsOpen() const { return transport_ != nullptr; }
  // Moves everything readable now into the buffer (zero-time readiness poll before every read).
  void Poll();
  bool DataWaiting();
  std::string TakeBuffer();
  // First buffered byte; waits while the link is open; 0 when it closed with nothing left.
  char ReadChar();
  void SetBlocking(bool blocking);
  void Send(std::string_view text);
  void SendLine(std::string_view text);

  std::string& Buffer() { return buffer_; }
  bool OwnsSocket() const { return owns_socket_; }
  // Descriptor to wait on, -1 when closed.
  int Fd() const { return transport_ ? transport_->Fd() : -1; }

 private:
  void Append(const char* data, size_t len);

  std::string buffer_;
  bool owns_socket_ = false;
  bool last_was_cr_ = false;  // the last byte received was a CR, so a leading LF folds into it
  std::unique_ptr<platform::Transport> transport_;
};

}  // namespace net
