#include "platform/posix/terminal_keys.h"

#define NCURSES_WIDECHAR 1
#include <curses.h>

#include "platform/cp437.h"

namespace platform {
namespace {

std::string Extended(int scan_code) {
  return std::string{'\0', static_cast<char>(scan_code)};
}

// PC scan codes of the letter keys, which Alt combinations report.
constexpr uint8_t kLetterScanCodes[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                          49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};

std::string AltOf(uint32_t c) {
  if (c >= 'a' && c <= 'z') return Extended(kLetterScanCodes[c - 'a']);
  if (c >= 'A' && c <= 'Z') return Extended(kLetterScanCodes[c - 'A']);
  if (c >= '1' && c <= '9') return Extended(120 + static_cast<int>(c - '1'));
  if (c == '0') return Extended(129);
  return {};
}

std::string Plain(uint32_t c) {
  if (c == 0) return Extended(3);  // Ctrl-@, which the PC reports as an extended key
  if (c == '\n') return "\r";      // pasted line ends
  if (c == 127) return "\b";       // most terminals send DEL for Backspace
  if (c < 127) return std::string(1, static_cast<char>(c));
  // Only the upper half: the control-range glyphs would arrive as control bytes, and 0x7F as a
  // colour code.
  int b = UnicodeToCp437(c);
  if (b < 0x80) return {};
  return std::string(1, static_cast<char>(b));
}

int ScanCodeOf(int code) {
  if (code >= KEY_F(1) && code <= KEY_F(60)) {
    int n = code - KEY_F(0);  // 1..60: plain, shifted, with Ctrl, with Ctrl+Shift, with Alt
    int group = (n - 1) / 12, key = (n - 1) % 12;
    static constexpr int kBase[5] = {59, 84, 94, 0, 104};         // F1..F10
    static constexpr int kBase1112[5] = {133, 135, 137, 0, 139};  // F11, F12
    if (kBase[group] == 0) return 0;
    return key < 10 ? kBase[group] + key : kBase1112[group] + key - 10;
  }
  switch (code) {
    case KEY_UP:
      return 72;
    case KEY_DOWN:
      return 80;
    case KEY_LEFT:
      return 75;
    case KEY_RIGHT:
      return 77;
    case KEY_HOME:
    case KEY_A1:
    case KEY_FIND:
      return 71;
    case KEY_END:
    case KEY_C1:
    case KEY_SELECT:
    case KEY_LL:
      return 79;
    case KEY_PPAGE:
    case KEY_A3:
      return 73;
    case KEY_NPAGE:
    case KEY_C3:
      return 81;
    case KEY_B2:
      return 76;
    case KEY_IC:
      return 82;
    case KEY_DC:
      return 83;
    case KEY_BTAB:
      return 15;
    default:
      return 0;
  }
}

}  // namespace

std::string KeyDecoder::TakePendingEsc() {
  if (!esc_pending_) return {};
  esc_pending_ = false;
  return "\x1b";
}

std::string KeyDecoder::Char(uint32_t c) {
  if (esc_pending_) {
    if (std::string alt = AltOf(c); !alt.empty()) {
      esc_pending_ = false;
      return alt;
    }
  }
  std::string out = TakePendingEsc();
  if (c == 27) {
    esc_pending_ = true;
    return out;
  }
  return out + Plain(c);
}

std::string KeyDecoder::KeyCode(int code) {
  std::string out = TakePendingEsc();
  if (code == KEY_BACKSPACE) return out + "\b";
  if (code == KEY_ENTER) return out + "\r";
  if (int scan = ScanCodeOf(code); scan != 0) return out + Extended(scan);
  return out;
}

std::string KeyDecoder::Flush() {
  return TakePendingEsc();
}

}  // namespace platform
