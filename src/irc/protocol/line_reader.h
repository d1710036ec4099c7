// Server line framing: the receive buffer of one server connection cut into lines at CR (the link
// has already folded every line end to a single CR). A line longer than kMaxLineLength is handed on
// as its first kMaxLineLength bytes and the rest up to its line end is dropped, so a server that
// never ends a line cannot exhaust memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace irc {

class LineReader {
 public:
  static constexpr size_t kMaxLineLength = 64 * 1024;

  // Appends newly received bytes and calls on_line(std::string_view) for every line they complete,
  // in order. Each byte is looked at a constant number of times however the lines are split.
  template <class OnLine>
  void Feed(std::string chunk, OnLine&& on_line);

  // Forgets the unfinished line and the dropping state: a new connection starts clean.
  void Reset() {
    buffer_.clear();
    dropping_ = false;
  }

  // The unfinished line kept so far (never longer than kMaxLineLength).
  size_t Buffered() const { return buffer_.size(); }
  // The line being received has passed the limit; what follows up to its line end is dropped.
  bool Dropping() const { return dropping_; }

 private:
  std::string buffer_;
  bool dropping_ = false;
};

template <class OnLine>
void LineReader::Feed(std::string chunk, OnLine&& on_line) {
  size_t scan_from = buffer_.size();  // what was kept before holds no line end
  if (buffer_.empty()) {
    buffer_ = std::move(chunk);
  } else {
    buffer_ += chunk;
  }
  size_t pos = 0;
  if (dropping_) {
    const size_t cr = buffer_.find('\r');
    if (cr == std::string::npos) {
      buffer_.clear();
      return;
    }
    dropping_ = false;
    pos = cr + 1;
    scan_from = pos;
  }
  const std::string_view all(buffer_);
  for (;;) {
    const size_t cr = buffer_.find('\r', std::max(scan_from, pos));
    if (cr == std::string::npos) break;
    on_line(all.substr(pos, std::min(cr - pos, kMaxLineLength)));
    pos = cr + 1;
  }
  buffer_.erase(0, pos);
  if (buffer_.size() > kMaxLineLength) {
    on_line(std::string_view(buffer_).substr(0, kMaxLineLength));
    buffer_.clear();
    dropping_ = true;
  }
}

}  // namespace irc
