// The caller's terminal as seen through the door's own interpreter: every byte the caller receives
// is drawn by a second LocalAnsi on a second console. The door's local console mirrors the caller's
// screen, so once the door has sent everything the two agree on the caller's rows (1 to 24); only
// the status row and the door's local-only messages are the sysop's alone.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

#include "ansi/local_ansi.h"
#include "loopback.h"
#include "platform/console.h"

namespace fuzzsupport {

class CallerMirror {
 public:
  CallerMirror() { console_.SetWindow(1, 1, platform::Console::kCols, platform::Console::kRows - 1); }

  // Reads what is waiting on the caller's end into the mirror; false once the door has closed it.
  bool ReadFrom(int fd) {
    received_.clear();
    const bool open = Drain(fd, &received_);
    std::string_view bytes = received_;
    // The telnet offers made when the door takes the caller over (IAC, command, option) are no text.
    while (at_start_ && bytes.size() >= 3 && bytes[0] == '\xFF') bytes.remove_prefix(3);
    if (!bytes.empty()) at_start_ = false;
    interpreter_.LocalAnsiWrite(UndoubleIac(bytes));
    return open;
  }

  // What differs between the mirror and the door's console on the caller's rows, or null.
  const char* Difference(const platform::Console& door_console) const {
    // Each row's cells lie side by side; comparing rows in one piece keeps the check cheap under
    // the fuzzer's instrumentation of every compare.
    static_assert(sizeof(platform::Cell) == 2);
    for (int row = 1; row < platform::Console::kRows; ++row) {
      if (std::memcmp(&console_.At(1, row), &door_console.At(1, row),
                      platform::Console::kCols * sizeof(platform::Cell)) != 0)
        return "a cell differs from the caller's screen";
    }
    if (console_.CursorCol() != door_console.CursorCol() || console_.CursorRow() != door_console.CursorRow())
      return "the cursor differs from the caller's";
    if (console_.TextAttr() != door_console.TextAttr()) return "the colour differs from the caller's";
    return nullptr;
  }

 private:
  // What a telnet client shows of the door's data: each doubled 0xFF is one 0xFF byte. A pair split
  // across two reads is completed by the next one.
  std::string_view UndoubleIac(std::string_view bytes) {
    shown_.clear();
    for (const char byte : bytes) {
      if (byte == '\xFF' && !after_iac_) {
        after_iac_ = true;
        continue;
      }
      after_iac_ = false;
      shown_.push_back(byte);
    }
    return shown_;
  }

  platform::Console console_;
  ansi::LocalAnsi interpreter_{console_};
  std::string shown_;
  bool after_iac_ = false;
  std::string received_;
  bool at_start_ = true;
};

}  // namespace fuzzsupport
