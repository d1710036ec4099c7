#include <algorithm>

#include "ansi/local_ansi.h"
#include "door/door.h"
#include "door/key_table.h"
#include "platform/console.h"
#include "text/caller_charset.h"
#include "text/utf8.h"

namespace door {
namespace {}  // namespace

void Door::DrawInputField(std::string_view text, char mask, int width, int start_column) {
  // Columns are characters: text is UTF-8.
  const size_t w = static_cast<size_t>(width);
  const size_t chars = text::CountChars(text);
  DoorCursorToColumn(start_column);
  std::string shown;
  const size_t visible = std::min(chars, w);
  if (mask != 0) {
    shown.assign(visible, mask);
  } else {
    text::AppendShownUtf8(shown, text.substr(text::StartOfLastChars(text, visible)));
  }
  if (chars < w) shown.append(w - chars, ' ');
  DoorWrite(shown);
  DoorCursorToColumn(start_column + static_cast<int>(visible));
}

std::string Door::DoorInputLine(std::string_view initial, std::string_view allowed, char mask, int width,
                                int max_length, uint8_t attr) {
  width = std::max(width, 0);
  const size_t max_len = static_cast<size_t>(std::max(max_length, 0));
  const std::string original(initial.substr(0, text::CutAtCharBoundary(initial, max_len)));
  std::string text = original;
  size_t chars = text::CountChars(text);

  const uint8_t saved_attr = env_.local_ansi.ConsoleAttr();
  const int start_column = env_.console.WhereX();
  DoorSetAttr(attr);
  DrawInputField(text, mask, width, start_column);

  // A sysop chat while the field waits draws it again at its end (after the hook has put back what
  // stands before it).
  struct FieldMark {
    std::optional<EditedField>& field;
    std::optional<EditedField> outer;
    ~FieldMark() { field = outer; }
  } mark{edited_field_, edited_field_};
  edited_field_ = EditedField{&text, mask, width, start_column, attr};

  const size_t w = static_cast<size_t>(width);
  text::Utf8Assembler assembler;
  char key;
  for (;;) {
    key = DoorReadKey();
    // A caller's cursor key edits nothing here.
    if (keys.last_key_extended && keys.last_key_source == KeySource::kCaller) continue;
    // A character above 127 is taken once its last byte is in, whatever the allowed set.
    const bool complete = assembler.Feed(static_cast<uint8_t>(key));
    const bool wide = static_cast<uint8_t>(key) >= 0x80;
    if (key == kBackspace && !text.empty()) {
      text::PopLastChar(text);
      --chars;
      DoorWrite("\x08 \x08");
      if (chars >= w) DrawInputField(text, mask, width, start_column);
    } else if (key == kCtrlY && !text.empty()) {
      text.clear();
      chars = 0;
      DrawInputField(text, mask, width, start_column);
    } else if (complete && (wide || allowed.find(key) != std::string_view::npos) && chars < max_len) {
      text.append(assembler.chars());
      ++chars;
      if (chars > w) {
        DrawInputField(text, mask, width, start_column);
      } else if (mask != 0) {
        DoorWrite(std::string_view(&mask, 1));
      } else {
        std::string echo;
        text::AppendShownUtf8(echo, assembler.chars());
        DoorWrite(echo);
      }
    }
    if (key == kEsc || (key == kEnter && !text.empty())) break;
  }

  DoorSetAttr(saved_attr);
  DoorNewLine();
  return key == kEsc ? original : text;
}

}  // namespace door
