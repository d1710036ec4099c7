#include <algorithm>

#include "ansi/local_ansi.h"
#include "door/door.h"
#include "platform/console.h"

namespace door {
namespace {

constexpr char kBackspace = 8;
constexpr char kCtrlY = 25;
constexpr char kEnter = 13;
constexpr char kEsc = 27;

}  // namespace

void Door::DrawInputField(std::string_view text, char mask, int width, int start_column) {
  const size_t w = static_cast<size_t>(width);
  DoorCursorToColumn(start_column);
  std::string shown;
  if (text.size() > w) {
    shown = mask != 0 ? std::string(w, mask) : std::string(text.substr(text.size() - w));
    DoorWrite(shown);
    DoorCursorToColumn(start_column + width);
  } else {
    shown = mask != 0 ? std::string(text.size(), mask) : std::string(text);
    shown.append(w - text.size(), ' ');
    DoorWrite(shown);
    DoorCursorToColumn(start_column + static_cast<int>(text.size()));
  }
}

std::string Door::DoorInputLine(std::string_view initial, std::string_view allowed, char mask, int width,
                                int max_length, uint8_t attr) {
  width = std::max(width, 0);
  const size_t max_len = static_cast<size_t>(std::max(max_length, 0));
  const std::string original(initial.substr(0, std::min(initial.size(), max_len)));
  std::string text = original;

  const uint8_t saved_attr = env_.local_ansi.ConsoleAttr();
  const int start_column = env_.console.WhereX();
  DoorSetAttr(attr);
  DrawInputField(text, mask, width, start_column);

  const size_t w = static_cast<size_t>(width);
  char key;
  for (;;) {
    key = DoorReadKey();
    if (key == kBackspace && !text.empty()) {
      text.pop_back();
      DoorWrite("\x08 \x08");
      if (text.size() >= w) DrawInputField(text, mask, width, start_column);
    } else if (key == kCtrlY && !text.empty()) {
      text.clear();
      DrawInputField(text, mask, width, start_column);
    } else if (allowed.find(key) != std::string_view::npos && text.size() < max_len) {
      text.push_back(key);
      if (text.size() > w) {
        DrawInputField(text, mask, width, start_column);
      } else {
        const char echo = mask != 0 ? mask : key;
        DoorWrite(std::string_view(&echo, 1));
      }
    }
    if (key == kEsc || (key == kEnter && !text.empty())) break;
  }

  DoorSetAttr(saved_attr);
  DoorNewLine();
  return key == kEsc ? original : text;
}

}  // namespace door
