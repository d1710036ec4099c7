// The keys the door reads, named once: the control keys as their bytes, and the keys callers'
// terminals send as escape sequences, named by the scan code a PC keyboard gives the same key: a
// caller's Left arrives as the sysop's Left does, an extended key.
#pragma once

#include <cstdint>
#include <string_view>

namespace door {

// Control keys as the key reader gives them.
inline constexpr char kCtrlA = 0x01;
inline constexpr char kCtrlE = 0x05;
inline constexpr char kBackspace = 0x08;
inline constexpr char kCtrlK = 0x0B;
inline constexpr char kEnter = 0x0D;
inline constexpr char kCtrlU = 0x15;
inline constexpr char kCtrlW = 0x17;
inline constexpr char kCtrlX = 0x18;
inline constexpr char kCtrlY = 0x19;
inline constexpr char kEsc = 0x1B;
inline constexpr char kDel = 0x7F;

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
