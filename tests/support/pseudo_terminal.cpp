#include "support/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "support/sockets.h"

namespace testsupport {

PseudoTerminal::PseudoTerminal(int cols, int rows) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
    if (master_ >= 0) close(master_);
    throw std::runtime_error("pty");
  }
  slave_name_ = ptsname(master_);
  if (cols > 0 && rows > 0) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(cols);
    size.ws_row = static_cast<unsigned short>(rows);
    ioctl(master_, TIOCSWINSZ, &size);
  }
  slave_ = open(slave_name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0 || tcgetattr(slave_, &modes_at_start_) != 0) {
    if (slave_ >= 0) close(slave_);
    close(master_);
    throw std::runtime_error("pty slave");
  }
}

PseudoTerminal::~PseudoTerminal() {
  close(slave_);
  close(master_);
}

termios PseudoTerminal::Modes() const {
  termios now{};
  tcgetattr(slave_, &now);
  return now;
}

std::string PseudoTerminal::ReadUntil(std::string_view needle, int timeout_ms) const {
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (seen.find(needle) == std::string::npos && std::chrono::steady_clock::now() < deadline)
    seen += ReadAvailable(master_, 20);
  return seen;
}

}  // namespace testsupport
