// Appending to a string through a small buffer of its own. Text conversions append a byte or a
// few at a time, and each append to a std::string is a call with its own capacity check; here
// that is a store or two, and the string grows a block at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace text {

class BufferedAppend {
 public:
  explicit BufferedAppend(std::string& out) : out_(out) {}
  BufferedAppend(const BufferedAppend&) = delete;
  BufferedAppend& operator=(const BufferedAppend&) = delete;
  ~BufferedAppend() { Flush(); }

  [[gnu::always_inline]] void Push(char c) {
    if (used_ == kSize) Flush();
    buffer_[used_++] = c;
  }
  [[gnu::always_inline]] void Append(std::string_view bytes) {
    if (bytes.size() <= kShort && kSize - used_ >= kShort) {
      CopyShort(buffer_ + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
    } else {
      AppendLong(bytes);
    }
  }
  // Room for n more bytes (at most 16), to be written in place through the pointer returned.
  [[gnu::always_inline]] char* Extend(size_t n) {
    if (kSize - used_ < n) Flush();
    char* at = buffer_ + used_;
    used_ += n;
    return at;
  }
  // Everything appended so far is in the string.
  void Flush() {
    out_.append(buffer_, used_);
    used_ = 0;
  }

 private:
  static constexpr size_t kSize = 256;
  static constexpr size_t kShort = 16;

  // Up to kShort bytes in fixed-size moves that overlap, without a call.
  [[gnu::always_inline]] static void CopyShort(char* to, const char* from, size_t n) {
    if (n >= 8) {
      uint64_t head, tail;
      std::memcpy(&head, from, 8);
      std::memcpy(&tail, from + n - 8, 8);
      std::memcpy(to, &head, 8);
      std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4) {
      uint32_t head, tail;
      std::memcpy(&head, from, 4);
      std::memcpy(&tail, from + n - 4, 4);
      std::memcpy(to, &head, 4);
      std::memcpy(to + n - 4, &tail, 4);
    } else if (n > 0) {
      to[0] = from[0];
      to[n / 2] = from[n / 2];
      to[n - 1] = from[n - 1];
    }
  }

  // Longer runs go to the string whole; shorter ones into the buffer once it has room.
  void AppendLong(std::string_view bytes) {
    Flush();
    if (bytes.size() > kShort) {
      out_.append(bytes);
    } else {
      CopyShort(buffer_, bytes.data(), bytes.size());
      used_ = bytes.size();
    }
  }

  std::string& out_;
  size_t used_ = 0;
  char buffer_[kSize];
};

}  // namespace text
