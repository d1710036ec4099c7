// The keys callers' terminals send as escape sequences, named by the scan code a PC keyboard gives
// the same key: a caller's Left arrives as the sysop's Left does, an extended key.
#pragma once

#include <cstdint>
#include <string_view>

namespace door {

// Scan codes of the extended keys the door gives a meaning to.
enum ScanCode : uint8_t {
  kScanHome = 71,
  kScanUp = 72,
  kScanPageUp = 73,
  kScanLeft = 75,
  kScanRight = 77,
  kScanEnd = 79,
  kScanDown = 80,
  kScanPageDown = 81,
  kScanInsert = 82,
  kScanDelete = 83,
};

// The scan code of the key a whole sequence (ESC and what follows) stands for; 0 for a key the
// door has no use for (function keys) and for a terminal's reports. A modifier (ESC [ 1 ; 5 C,
// Ctrl-Right) is left out: the key counts as the plain one.
uint8_t KeyOfSequence(std::string_view sequence);

}  // namespace door
