#include "ansi/local_ansi.h"

#include <algorithm>

#include "ansi/sequences.h"
#include "platform/console.h"

namespace ansi {
namespace {

// Parameters saturate here: large enough for any screen, small enough never to overflow.
constexpr int kParamCap = 99'999;

// The final bytes of the sequences that are drawn (see Execute). Tested for every byte inside a
// sequence, so a switch rather than a search through a list.
constexpr bool IsFinal(char b) {
  switch (b) {
    case 'H':
    case 'f':
    case 'A':
    case 'B':
    case 'C':
    case 'D':
    case 's':
    case 'u':
    case 'J':
    case 'K':
    case 'm':
    case 'h':
    case 'l':
    case 'p':
      return true;
    default:
      return false;
  }
}

}  // namespace

LocalAnsi::LocalAnsi(platform::Console& console) : console_(console) {
  std::fill_n(params_, kMaxParams, -1);
}

uint8_t LocalAnsi::ConsoleAttr() const {
  return console_.TextAttr();
}

void LocalAnsi::SetConsoleAttr(uint8_t attr) {
  console_.SetTextAttr(attr);
}

void LocalAnsi::LocalAnsiWrite(std::string_view text) {
  while (!text.empty()) {
    if (state_ == State::kText) {
      // Outside a sequence every byte up to the next ESC is drawn as it is: in one piece.
      const size_t esc = text.find('\x1b');
      console_.Write(text.substr(0, esc));
      if (esc == std::string_view::npos) return;
      text.remove_prefix(esc);
      if (const size_t length = SetColourAt(text); length > 0) {
        text.remove_prefix(length);
        continue;
      }
      state_ = State::kEscape;
      text.remove_prefix(1);
      continue;
    }
    const char b = text.front();
    text.remove_prefix(1);
    if (state_ == State::kEscape) {
      // Only "[" opens a sequence; any other byte after an ESC is drawn, and the ESC still waits
      // for its "[".
      if (b == '[') {
        state_ = State::kSequence;
      } else if (b != 27) {
        console_.WriteChar(static_cast<uint8_t>(b));
      }
      continue;
    }
    // Inside a sequence: parameters until a final byte.
    if (IsFinal(b)) {
      Execute(b);
      state_ = State::kText;
      std::fill_n(params_, kMaxParams, -1);
      field_ = 0;
      field_has_digits_ = false;
    } else if (b >= '0' && b <= '9') {
      if (field_ < kMaxParams) {
        int& p = params_[field_];
        p = std::min((field_has_digits_ ? p : 0) * 10 + (b - '0'), kParamCap);
      }
      field_has_digits_ = true;
    } else if (b == ';') {
      field_ = std::min(field_ + 1, kMaxParams);  // extra fields are dropped
      field_has_digits_ = false;
    }
    // every other byte of a sequence (ESC, "[", "?", "=", ...) is ignored
  }
}

size_t LocalAnsi::SetColourAt(std::string_view text) {
  // The colour sequences the door itself sends for every colour change, whole in this write: the
  // same attribute as SelectGraphicRendition gives them, without the parse.
  if (text.size() < 5 || text[1] != '[') return 0;
  const auto colour = [](char digit) { return digit >= '0' && digit <= '7' ? kColourMap[digit - '0'] : -1; };
  if (text.size() >= 7 && (text[2] == '0' || text[2] == '1') && text[3] == ';' && text[4] == '3' &&
      text[6] == 'm') {
    const int foreground = colour(text[5]);
    if (foreground < 0) return 0;
    // "0" resets the background as well; "1" brightens and keeps it.
    const int attr = text[2] == '0' ? foreground : (console_.TextAttr() & 0x70) | foreground | 8;
    console_.SetTextAttr(static_cast<uint8_t>(attr));
    return 7;
  }
  if (text[2] == '4' && text[4] == 'm') {
    const int background = colour(text[3]);
    if (background < 0) return 0;
    console_.SetTextAttr(static_cast<uint8_t>((console_.TextAttr() & 0x8F) | background << 4));
    return 5;
  }
  return 0;
}

void LocalAnsi::Step(int dcol, int drow, int count) {
  // Every step is a go-to that is ignored outside the window, so more steps than the window is
  // wide or high change nothing further.
  count = std::min(count, platform::Console::kCols);
  for (int i = 0; i < count; ++i) console_.GotoXY(console_.WhereX() + dcol, console_.WhereY() + drow);
}

void LocalAnsi::Execute(char final_byte) {
  const int p1 = params_[0];
  const int p2 = params_[1];
  switch (final_byte) {
    case 'H':
    case 'f':
      console_.GotoXY(std::max(p2, 1), std::max(p1, 1));
      break;
    case 'A':
      Step(0, -1, std::max(p1, 1));
      break;
    case 'B':
      Step(0, 1, std::max(p1, 1));
      break;
    case 'C':
      Step(1, 0, std::max(p1, 1));
      break;
    case 'D':
      Step(-1, 0, std::max(p1, 1));
      break;
    case 's':
      saved_column_ = console_.WhereX();
      saved_row_ = console_.WhereY();
      break;
    case 'u':
      console_.GotoXY(saved_column_, saved_row_);
      break;
    case 'J':
      if (p1 == 2) console_.ClrScr();
      break;
    case 'K':
      console_.ClrEol();
      break;
    case 'm':
      SelectGraphicRendition();
      break;
    default:  // h, l, p: consumed and ignored
      break;
  }
}

void LocalAnsi::SelectGraphicRendition() {
  if (params_[0] < 1) params_[0] = 0;
  uint8_t attr = console_.TextAttr();
  for (int i = 0; i < kMaxParams && params_[i] != -1; ++i) {
    const int p = params_[i];
    if (p == 0) {
      attr = 0x07;
    } else if (p == 1) {
      attr |= 0x08;
    } else if (p == 7) {
      attr = static_cast<uint8_t>((attr & 7) * 16 + (attr & 0x70) / 16);
    } else if (p == 8) {
      attr = 0;
    } else if (p >= 30 && p <= 37) {
      const int fg = kColourMap[p - 30] + ((attr & 0x0F) > 7 ? 8 : 0);
      attr = static_cast<uint8_t>((attr & 0x70) | fg);
    } else if (p >= 40 && p <= 47) {
      attr = static_cast<uint8_t>((attr & 0x8F) | (kColourMap[p - 40] << 4));
    }
  }
  console_.SetTextAttr(attr);
}

}  // namespace ansi
