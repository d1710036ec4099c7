// A pseudo-terminal for a test: the master side is the terminal's screen and keyboard, the slave
// side the terminal a door is given (as its standard streams, as -H, or as its controlling
// terminal by name). Both sides are closed with the object.
#pragma once

#include <termios.h>

#include <string>
#include <string_view>

namespace testsupport {

class PseudoTerminal {
 public:
  // Throws when no pseudo-terminal can be had. cols and rows 0 leave the size as the system made it.
  explicit PseudoTerminal(int cols = 0, int rows = 0);
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  int master() const { return master_; }
  int slave() const { return slave_; }
  const std::string& slave_name() const { return slave_name_; }
  // The slave's modes when it was opened, and now.
  const termios& modes_at_start() const { return modes_at_start_; }
  termios Modes() const;

  // Reads what the terminal shows until needle has arrived or timeout_ms has passed; all it read.
  std::string ReadUntil(std::string_view needle, int timeout_ms) const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_name_;
  termios modes_at_start_{};
};

}  // namespace testsupport
