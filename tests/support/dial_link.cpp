#include "support/dial_link.h"

#include <chrono>
#include <optional>
#include <span>

#include "net/dialer.h"
#include "platform/clock.h"

namespace testsupport {

bool DialLink(net::TcpLink& link, std::string_view host, int port, int timeout_ms) {
  link.Close(true);
  net::Dialer dialer(host, port, std::nullopt);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const platform::Progress progress = dialer.Continue();
    if (progress == platform::Progress::kDone) return link.Attach(dialer.Take());
    if (progress == platform::Progress::kFailed) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    platform::WaitFd wanted = dialer.wanted();
    if (wanted.fd < 0) continue;
    platform::PollFds(std::span<platform::WaitFd>(&wanted, 1), static_cast<int>(left.count()));
  }
}

}  // namespace testsupport
