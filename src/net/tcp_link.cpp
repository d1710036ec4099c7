#include "net/tcp_link.h"

#include <cstring>
#include <utility>

namespace net {
namespace {

constexpr size_t kReadSize = 4096;

}  // namespace

TcpLink::~TcpLink() {
  // An adopted socket belongs to whoever handed it over; only our own is released.
  Close(owns_socket_);
}

void TcpLink::Init() {
  buffer_.clear();
  last_was_cr_ = false;
  transport_.reset();
}

void TcpLink::Done() {
  Close(true);
}

void TcpLink::Close(bool close_socket) {
  if (!transport_) return;
  transport_->Close(close_socket);
  transport_.reset();
}

bool TcpLink::Connect(std::string_view host, int port) {
  if (IsOpen()) Close(true);
  buffer_.clear();
  last_was_cr_ = false;
  owns_socket_ = true;
  transport_ = platform::ConnectTcp(host, port);
  return IsOpen();
}

bool TcpLink::Adopt(int socket_fd) {
  if (IsOpen()) Close(true);
  buffer_.clear();
  last_was_cr_ = false;
  owns_socket_ = false;
  transport_ = platform::AdoptSocket(socket_fd);
  SetBlocking(true);
  Send(std::string_view("\xFF\xFB\x00", 3));  // IAC WILL TRANSMIT-BINARY
  Send(std::string_view("\xFF\xFB\x01", 3));  // IAC WILL ECHO
  Poll();
  return IsOpen();
}

void TcpLink::Poll() {
  if (!transport_) return;
  int ready = transport_->PollReadable();
  if (ready < 0) {
    Close(owns_socket_);
    return;
  }
  char chunk[kReadSize];
  while (ready > 0) {
    long n = transport_->Recv(chunk, sizeof chunk);
    if (n <= 0) {
      Close(owns_socket_);
      return;
    }
    Append(chunk, static_cast<size_t>(n));
    ready = transport_->PollReadable();
  }
}

bool TcpLink::DataWaiting() {
  if (buffer_.empty()) Poll();
  return !buffer_.empty();
}

std::string TcpLink::TakeBuffer() {
  return std::exchange(buffer_, std::string());
}

char TcpLink::ReadChar() {
  while (!DataWaiting()) {
    if (!IsOpen()) return '\0';
    // The result does not matter: the next DataWaiting polls again and closes on an error.
    transport_->WaitReadable(-1);
  }
  char c = buffer_.front();
  buffer_.erase(0, 1);
  return c;
}

void TcpLink::SetBlocking(bool blocking) {
  if (transport_) transport_->SetBlocking(blocking);
}

void TcpLink::Send(std::string_view text) {
  if (transport_) transport_->Send(text.data(), text.size());
}

void TcpLink::SendLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  Send(line);
}

// Stores one received chunk with CR LF folded to CR and a lone LF turned into CR. Only the chunk
// and the flag for the byte received before it are looked at, so the cost is linear in the data
// however large the unconsumed buffer has grown.
void TcpLink::Append(const char* data, size_t len) {
  if (const void* nul = std::memchr(data, '\0', len)) len = static_cast<const char*>(nul) - data;
  if (len == 0) return;
  size_t start = 0;
  while (start < len) {
    const void* lf = std::memchr(data + start, '\n', len - start);
    if (lf == nullptr) {
      buffer_.append(data + start, len - start);
      break;
    }
    size_t pos = static_cast<const char*>(lf) - data;
    buffer_.append(data + start, pos - start);
    bool after_cr = pos == 0 ? last_was_cr_ : data[pos - 1] == '\r';
    if (!after_cr) buffer_.push_back('\r');
    start = pos + 1;
  }
  last_was_cr_ = data[len - 1] == '\r';
}

}  // namespace net
