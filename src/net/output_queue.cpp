#include "net/output_queue.h"

#include <cstring>

namespace net {
namespace {

// Room left for the count in a notice.
constexpr size_t kCountDigits = 20;
// A drained queue gives back memory beyond this, so that one burst does not stay resident.
constexpr size_t kKeptCapacity = 256 * 1024;
// Sent bytes are removed from the front once they are this many and half of the queue.
constexpr size_t kCompactAfter = 1024 * 1024;

}  // namespace

void OutputQueue::SetSkipNotice(std::string_view prefix, std::string_view suffix) {
  notice_prefix_ = prefix;
  notice_suffix_ = suffix;
}

void OutputQueue::Append(std::string_view bytes) {
  data_.append(bytes);
  if (size() > limit_) DropOldest();
}

void OutputQueue::Consume(size_t n) {
  if (n == 0) return;
  if (n > size()) n = size();
  sent_line_end_ = data_[head_ + n - 1] == '\n';
  head_ += n;
  if (notice_at_ != kNone && head_ > notice_at_) notice_at_ = kNone;  // partly sent: it stays as it is
  if (empty()) {
    Release();
  } else if (head_ >= kCompactAfter && head_ >= data_.size() / 2) {
    Compact();
  }
}

void OutputQueue::Clear() {
  Release();
  sent_line_end_ = true;
}

void OutputQueue::Release() {
  if (data_.capacity() > kKeptCapacity) {
    std::string().swap(data_);
  } else {
    data_.clear();
  }
  head_ = 0;
  notice_at_ = kNone;
}

void OutputQueue::Compact() {
  data_.erase(0, head_);
  if (notice_at_ != kNone) notice_at_ -= head_;
  head_ = 0;
}

// The line being sent is kept whole, so the terminal never gets half an escape sequence; whole
// lines after it are dropped, oldest first, until the queue is back within its limit with the
// notice in their place.
void OutputQueue::DropOldest() {
  const size_t notice_room = notice_prefix_.size() + kCountDigits + notice_suffix_.size();
  const size_t excess = size() - limit_ + notice_room;
  size_t cut_start = head_;
  if (!sent_line_end_) {
    const size_t lf = data_.find('\n', head_);
    cut_start = lf == std::string::npos ? data_.size() : lf + 1;
  }
  if (data_.size() - cut_start < excess) cut_start = head_;  // one line larger than the limit
  size_t cut_end = data_.size();
  if (cut_start + excess <= data_.size()) {
    const size_t lf = data_.find('\n', cut_start + excess - 1);
    if (lf != std::string::npos) cut_end = lf + 1;
  }

  size_t earlier_count = 0;
  size_t earlier_length = 0;
  if (notice_at_ != kNone && notice_at_ >= cut_start && notice_at_ < cut_end) {
    earlier_count = notice_count_;
    earlier_length = notice_length_;
  }
  const size_t dropped = cut_end - cut_start - earlier_length;
  skipped_total_ += dropped;
  const size_t count = dropped + earlier_count;
  const std::string notice = notice_prefix_ + std::to_string(count) + notice_suffix_;

  const size_t kept = cut_start - head_;  // the rest of the line being sent
  size_t notice_at;
  if (cut_end - cut_start >= notice.size()) {
    // Only the kept part moves, up against the notice, so the cost is one line, not the queue.
    notice_at = cut_end - notice.size();
    std::memcpy(data_.data() + notice_at, notice.data(), notice.size());
    std::memmove(data_.data() + notice_at - kept, data_.data() + head_, kept);
    head_ = notice_at - kept;
  } else {
    data_.replace(cut_start, cut_end - cut_start, notice);
    notice_at = cut_start;
  }
  notice_at_ = notice_at;
  notice_length_ = notice.size();
  notice_count_ = count;
  if (head_ >= kCompactAfter && head_ >= data_.size() / 2) Compact();
}

}  // namespace net
