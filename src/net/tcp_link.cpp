#include "net/tcp_link.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace net {
namespace {

// Received data is handed on in chunks of at most this size.
constexpr size_t kChunkSize = 4096;
// One system call reads up to this many chunks.
constexpr size_t kReadSize = 16 * kChunkSize;

}  // namespace

TcpLink::~TcpLink() {
  // An adopted socket belongs to whoever handed it over; only our own is released.
  Close(owns_socket_);
}

void TcpLink::Init() {
  buffer_.clear();
  out_.Clear();
  stall_start_ms_ = -1;
  send_failure_ = SendFailure::kNone;
  last_was_cr_ = false;
  transport_.reset();
  end_ = platform::IoResult::Moved(0);
  stream_.SetTelnet(false);
}

void TcpLink::Done() {
  FlushQueue();  // the last words (a QUIT), as far as the socket takes them now
  Close(true);
}

void TcpLink::Close(bool close_socket) {
  out_.Clear();
  if (!transport_) return;
  transport_->Close(close_socket);
  transport_.reset();
}

bool TcpLink::Attach(std::unique_ptr<platform::Transport> transport) {
  if (IsOpen()) Close(true);
  Init();
  owns_socket_ = true;
  transport_ = std::move(transport);
  return IsOpen();
}

bool TcpLink::Adopt(int socket_fd) {
  return AdoptTransport(platform::AdoptSocket(socket_fd), /*owns=*/false, /*telnet=*/true);
}

bool TcpLink::AdoptTransport(std::unique_ptr<platform::Transport> transport, bool owns, bool telnet) {
  Attach(std::move(transport));
  owns_socket_ = owns;
  SetBlocking(true);
  if (telnet) Send(kTelnetOpeningOffers);
  stream_.SetTelnet(telnet);
  Poll();
  return IsOpen();
}

// Reads without a separate readiness test: a read that finds nothing returns at once. Each read
// is cut into chunks as if it had been several reads of kChunkSize bytes.
void TcpLink::Poll() {
  char data[kReadSize];
  // A flood is taken in pieces of bounded size; the rest waits in the socket for the next Poll.
  // The bytes read count too, not only those kept: an endless stream of dropped bytes (a
  // descriptor on /dev/zero) must not keep one Poll reading for ever.
  for (size_t taken = 0; transport_ && buffer_.size() < read_limit_ && taken < read_limit_;) {
    const platform::IoResult got =
        transport_->RecvNow(data, std::min(sizeof data, read_limit_ - buffer_.size()));
    if (got.status == platform::IoStatus::kWouldBlock) return;
    if (!got.ok()) {
      end_ = got;
      Close(owns_socket_);
      return;
    }
    taken += got.bytes;
    Receive(data, got.bytes);
  }
}

void TcpLink::Receive(const char* data, size_t len) {
  if (!stream_.Transparent()) {
    decoded_.clear();
    stream_.DecodeInput(std::string_view(data, len), decoded_);
    data = decoded_.data();
    len = decoded_.size();
  }
  for (size_t at = 0; at < len; at += kChunkSize) Append(data + at, std::min(kChunkSize, len - at));
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

bool TcpLink::Send(std::string_view text) {
  if (!stream_.Transparent()) {
    std::string encoded;
    stream_.EncodeOutput(text, encoded);
    return SendEncoded(encoded);
  }
  return SendEncoded(text);
}

bool TcpLink::SendEncoded(std::string_view text) {
  if (!transport_) return false;
  if (out_.empty()) {
    // Straight to the socket while it takes it, without a copy; only the rest is queued. A
    // transport may take less than all (a TLS record at a time), so that rest goes first next
    // time and a line never leaves in part with another after it.
    while (!text.empty()) {
      const platform::IoResult sent = transport_->SendNow(text.data(), text.size());
      if (sent.status == platform::IoStatus::kWouldBlock) break;
      if (!sent.ok()) {
        Close(owns_socket_);  // the peer has gone
        return false;
      }
      Sent(sent.bytes);
      text.remove_prefix(std::min(sent.bytes, text.size()));
    }
    if (text.empty()) return true;
  }
  out_.Append(text);
  FlushQueue();
  if (transport_ && max_queued_ > 0 && out_.size() > max_queued_) FailSends(SendFailure::kTooMuchQueued);
  return transport_ != nullptr;
}

void TcpLink::SetSendBounds(size_t max_queued, int64_t max_stall_ms) {
  max_queued_ = max_queued;
  max_stall_ms_ = max_stall_ms;
  // The queue itself never drops anything here: the bounds close the link long before.
  if (max_queued > 0) out_.SetLimit(static_cast<size_t>(-1));
}

int64_t TcpLink::CheckSendProgress(int64_t now_ms) {
  if (!transport_ || out_.empty() || FlushQueue()) {
    stall_start_ms_ = -1;
    return -1;
  }
  if (max_stall_ms_ <= 0) return -1;
  if (stall_start_ms_ < 0 || sent_total_ != sent_at_stall_start_) {
    stall_start_ms_ = now_ms;
    sent_at_stall_start_ = sent_total_;
  }
  const int64_t waited = now_ms - stall_start_ms_;
  if (waited >= max_stall_ms_) {
    FailSends(SendFailure::kNoProgress);
    return -1;
  }
  return max_stall_ms_ - waited;
}

void TcpLink::FailSends(SendFailure why) {
  send_failure_ = why;
  stall_start_ms_ = -1;
  Close(owns_socket_);
}

void TcpLink::Queue(std::string_view text) {
  if (!transport_) return;
  if (stream_.Transparent()) {
    out_.Append(text);
    return;
  }
  decoded_.clear();
  stream_.EncodeOutput(text, decoded_);
  out_.Append(decoded_);
}

bool TcpLink::FlushQueue() {
  while (!out_.empty()) {
    if (!transport_) {
      out_.Clear();
      break;
    }
    const std::string_view pending = out_.Pending();
    const platform::IoResult sent = transport_->SendNow(pending.data(), pending.size());
    if (sent.status == platform::IoStatus::kWouldBlock) return false;
    if (!sent.ok()) {
      Close(owns_socket_);  // the peer has gone: a failed write is a lost link like a failed read
      break;
    }
    Sent(sent.bytes);
    out_.Consume(sent.bytes);
  }
  return true;
}

bool TcpLink::SendLine(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  if (line_encoder) {
    line_encoder(line, text);
  } else {
    line.append(text);
  }
  line.append("\r\n");
  return Send(line);
}

// Stores one received chunk without its NUL bytes: each NUL is dropped on its own, and what
// follows it is kept, line ends included.
void TcpLink::Append(const char* data, size_t len) {
  while (len > 0) {
    const void* nul = std::memchr(data, '\0', len);
    const size_t piece = nul == nullptr ? len : static_cast<size_t>(static_cast<const char*>(nul) - data);
    AppendWithoutNul(data, piece);
    if (nul == nullptr) return;
    data += piece + 1;
    len -= piece + 1;
  }
}

// Stores bytes with CR LF folded to CR and a lone LF turned into CR. Only the bytes and the flag
// for the byte received before them are looked at, so the cost is linear in the data however
// large the unconsumed buffer has grown.
void TcpLink::AppendWithoutNul(const char* data, size_t len) {
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
