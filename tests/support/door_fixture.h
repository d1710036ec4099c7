// A fresh door on a headless console and a settable clock, with one end of a real socket pair
// as its caller. Tests drive the caller's end byte by byte and read what the door sent.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ansi/local_ansi.h"
#include "door/door.h"
#include "platform/console.h"
#include "support/fake_clock.h"

namespace testsupport {

class DoorFixture {
 public:
  // With connect_caller the door adopts one end of a socket pair as a remote caller (comm type 2,
  // window rows 1-24, timers running), as start-up with -H would leave it; the telnet offers are
  // drained. Otherwise it is in local mode.
  explicit DoorFixture(bool connect_caller = true, std::vector<std::string> args = {});
  ~DoorFixture();

  platform::Console console;
  FakeClock clock;
  ansi::LocalAnsi local_ansi{console};
  std::unique_ptr<door::Door> door;
  int caller_fd = -1;  // the caller's end of the pair; -1 in local mode

  // Sends bytes as the caller typing them.
  void CallerTypes(std::string_view bytes);
  // Everything the door has sent to the caller so far (non-blocking drain).
  std::string CallerReceived();
  // The text the local console shows on the cursor's row, without trailing blanks.
  std::string CursorRowText() const;
  // Closes the caller's end: carrier lost.
  void DropCarrier();
};

}  // namespace testsupport
