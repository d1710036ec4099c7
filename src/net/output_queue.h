// Bytes waiting to leave on a link whose reader may be slower than the writer. Appending is a
// plain copy; the link sends from the front whenever the socket takes more. The queue is bounded:
// beyond the limit the oldest lines are dropped and a notice saying how many bytes were skipped
// takes their place.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace net {

class OutputQueue {
 public:
  static constexpr size_t kDefaultLimit = 16 * 1024 * 1024;

  explicit OutputQueue(size_t limit = kDefaultLimit) : limit_(limit) {}

  void SetLimit(size_t bytes) { limit_ = bytes; }

  // The notice that replaces dropped output: prefix, the number of bytes skipped, suffix. It
  // should end with a line end, so that what follows it starts on a line of its own.
  void SetSkipNotice(std::string_view prefix, std::string_view suffix);

  void Append(std::string_view bytes);
  bool empty() const { return head_ == data_.size(); }
  size_t size() const { return data_.size() - head_; }
  // Every byte not yet sent, in order.
  std::string_view Pending() const { return std::string_view(data_).substr(head_); }
  // The first n pending bytes have been sent.
  void Consume(size_t n);
  // Forgets everything queued (a new connection, or a dead one).
  void Clear();
  // Bytes dropped since the queue was made.
  size_t skipped_total() const { return skipped_total_; }

 private:
  // Called once the queue holds more than the limit.
  void DropOldest();
  void Compact();
  // Empties the storage, giving back a large buffer.
  void Release();

  static constexpr size_t kNone = static_cast<size_t>(-1);

  size_t limit_;
  std::string data_;
  size_t head_ = 0;            // data_[head_..] is still to be sent
  bool sent_line_end_ = true;  // the last byte sent ended a line (or nothing was sent yet)
  std::string notice_prefix_ = "Output skipped: ";
  std::string notice_suffix_ = " bytes\r\n";
  // The last notice placed, while it is still waiting whole in the queue: a new drop that starts
  // right at it replaces it and adds its count.
  size_t notice_at_ = kNone;
  size_t notice_length_ = 0;
  size_t notice_count_ = 0;
  size_t skipped_total_ = 0;
};

}  // namespace net
