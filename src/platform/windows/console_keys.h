// Turns a key-down event of the Windows console into the console's key bytes: ordinary keys as
// their code page 437 byte, extended keys (function keys, cursor block, Alt combinations) as NUL
// followed by the PC scan code.
#pragma once

#include <cstdint>
#include <string>

namespace platform::windows {

struct ConsoleKey {
  uint16_t virtual_key = 0;    // VK_ code
  char16_t unicode = 0;        // the character the key produced, 0 for none
  uint32_t control_state = 0;  // dwControlKeyState: Alt, Ctrl, Shift, enhanced-key bits
};

// The bytes for one key press (empty for modifier keys and keys without a PC code).
std::string ConsoleKeyBytes(const ConsoleKey& key);

}  // namespace platform::windows
