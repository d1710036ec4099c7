#include "platform/windows/console_keys.h"

#include <windows.h>

#include "platform/cp437.h"

namespace platform::windows {
namespace {

std::string Extended(int scan_code) {
  return std::string{'\0', static_cast<char>(scan_code)};
}

// PC scan codes of the letter keys, which Alt combinations report.
constexpr uint8_t kLetterScanCodes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                          49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

enum Shift { kPlain, kShift, kCtrl, kAlt };

// F1..F10 and F11, F12 by shift state.
constexpr int kF1Base[4] = {59, 84, 94, 104};
constexpr int kF11Base[4] = {133, 135, 137, 139};

// The cursor and editing block, plain and with Ctrl (0: same as plain).
struct BlockKey {
  uint16_t vk;
  int plain;
  int ctrl;
};
constexpr BlockKey kBlockKeys[] = {
    {VK_UP, 72, 141},     {VK_DOWN, 80, 145},   {VK_LEFT, 75, 115},  {VK_RIGHT, 77, 116},
    {VK_HOME, 71, 119},   {VK_END, 79, 117},    {VK_PRIOR, 73, 132}, {VK_NEXT, 81, 118},
    {VK_INSERT, 82, 146}, {VK_DELETE, 83, 147}, {VK_CLEAR, 76, 143},
};

Shift ShiftOf(uint32_t state) {
  const bool alt = state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED);
  const bool ctrl = state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED);
  if (alt && !ctrl) return kAlt;  // Ctrl+Alt is AltGr, which types characters
  if (ctrl && !alt) return kCtrl;
  if (state & SHIFT_PRESSED) return kShift;
  return kPlain;
}

std::string Character(char16_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  // Only the upper half: the control-range glyphs would arrive as control bytes.
  const int b = UnicodeToCp437(c);
  if (b < 0x80) return {};
  return std::string(1, static_cast<char>(b));
}

}  // namespace

std::string ConsoleKeyBytes(const ConsoleKey& key) {
  const uint16_t vk = key.virtual_key;
  const Shift shift = ShiftOf(key.control_state);
  if (vk >= VK_F1 && vk <= VK_F10) return Extended(kF1Base[shift] + (vk - VK_F1));
  if (vk == VK_F11 || vk == VK_F12) return Extended(kF11Base[shift] + (vk - VK_F11));
  for (const BlockKey& b : kBlockKeys) {
    // With Num Lock on, the keypad types digits: those come as characters below.
    if (b.vk == vk && !(key.unicode >= '0' && key.unicode <= '9') && key.unicode != '.') {
      return Extended(shift == kCtrl ? b.ctrl : b.plain);
    }
  }
  if (shift == kAlt) {
    if (vk >= 'A' && vk <= 'Z') return Extended(kLetterScanCodes[vk - 'A']);
    if (vk >= '1' && vk <= '9') return Extended(120 + (vk - '1'));
    if (vk == '0') return Extended(129);
  }
  if (vk == VK_TAB && shift == kShift) return Extended(15);
  if (key.unicode == 0) {
    if (vk == '2' && shift == kCtrl) return Extended(3);  // Ctrl-@
    return {};                                            // Shift, Ctrl, Alt, Caps Lock on their own
  }
  return Character(key.unicode);
}

}  // namespace platform::windows
