// A second IRC user for whole-visit tests: a plain TCP client of a real IRC server that
// registers, joins, talks and reads lines. Every wait is bounded.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

class IrcPeer {
 public:
  IrcPeer() = default;
  ~IrcPeer();
  IrcPeer(const IrcPeer&) = delete;
  IrcPeer& operator=(const IrcPeer&) = delete;

  // Connects to 127.0.0.1:port without registering; false when the connection is refused.
  bool Connect(int port);
  // Connects to 127.0.0.1:port and registers as nick; true once the 001 welcome arrived.
  bool Register(int port, std::string_view nick, int timeout_ms = 5000);
  void SendLine(std::string_view line);
  // Waits for a line containing needle (answering PINGs meanwhile); the matching line or nullopt.
  std::optional<std::string> WaitFor(std::string_view needle, int timeout_ms);
  const std::vector<std::string>& lines() const { return lines_; }
  void Close();

 private:
  int fd_ = -1;
  std::string pending_;
  std::vector<std::string> lines_;
  size_t checked_ = 0;
};

}  // namespace testsupport
