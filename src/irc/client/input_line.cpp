// Typing on the input line: printable keys inserted at the cursor up to the line's limit, the
// editing keys, Up and Down through the lines sent before, Ctrl-X to switch the conversation
// target, Tab to complete a nickname, Enter to run the line. Only what a key changed is written: a key typed
// at the end of the line is echoed as it is. A change that moves the visible part of a long line, or that the
// two screens would show in different columns, redraws the line instead. The row is counted in
// the caller's columns: a UTF-8 terminal gives wide characters two.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "door/door.h"
#include "door/key_table.h"
#include "irc/client/client.h"
#include "irc/client/edit_line.h"
#include "text/caller_charset.h"
#include "text/utf8.h"

namespace irc {
namespace {

constexpr size_t kInputLineLimit = 200;

// The keys that edit the line: control characters, and extended keys (the sysop's cursor keys, a
// caller's escape sequences) by scan code.
struct EditKey {
  uint8_t key;
  bool extended;
  bool (LineEdit::*edit)();
};
constexpr EditKey kEditKeys[] = {
    {door::kBackspace, false, &LineEdit::Backspace}, {door::kCtrlA, false, &LineEdit::Home},
    {door::kCtrlE, false, &LineEdit::End},           {door::kCtrlU, false, &LineEdit::CutToStart},
    {door::kCtrlK, false, &LineEdit::CutToEnd},      {door::kCtrlW, false, &LineEdit::CutWordBefore},
    {door::kScanLeft, true, &LineEdit::Left},        {door::kScanRight, true, &LineEdit::Right},
    {door::kScanHome, true, &LineEdit::Home},        {door::kScanEnd, true, &LineEdit::End},
    {door::kScanDelete, true, &LineEdit::Delete},
};

bool IsContinuation(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Moves the cursor left over columns already on both screens: false when the screens would need
// different moves, or when a character to pass takes no column at all (the line is redrawn then).
bool AppendLeft(std::string& out, CharColumns columns, bool passes_text) {
  if (columns.console != columns.caller || (passes_text && columns.caller == 0)) return false;
  if (columns.caller == 1) {
    out.push_back('\b');
  } else if (columns.caller > 1) {
    out += "\x1B[" + std::to_string(columns.caller) + "D";
  }
  return true;
}

}  // namespace

size_t Client::InputCursor() const {
  size_t cursor = input_line.size() - std::min(input_after_cursor_, input_line.size());
  while (cursor > 0 && cursor < input_line.size() && IsContinuation(input_line[cursor])) --cursor;
  return cursor;
}

void Client::SetInputCursor(size_t cursor) {
  input_after_cursor_ = input_line.size() - std::min(cursor, input_line.size());
}

void Client::HandleKey(char key) {
  door::OutputBatch batch(door_);
  const auto byte = static_cast<unsigned char>(key);
  const bool extended = door_.keys.last_key_extended;
  if (extended && (byte == door::kScanPageUp || byte == door::kScanPageDown)) {
    if (byte == door::kScanPageUp) {
      PageBack();
    } else {
      PageForward();
    }
    return;
  }
  // Any other key returns from older lines to the newest; End does only that.
  if (scrollback_.viewing()) {
    ReturnFromScrollback();
    if (extended && byte == door::kScanEnd) return;
  }
  if (extended) {
    HandleExtendedKey(byte);
    return;
  }
  // A key that changes nothing sends nothing: it can be repeated without end.
  if (key == door::kCtrlX) {
    const int before = targets.active();
    if (targets.Next() && targets.active() != before) {
      activity_.Seen(targets.ActiveName());
      RedrawInputLine();
    }
    return;
  }
  // Esc stops a connect under way or a planned reconnect; otherwise it does nothing.
  if (key == door::kEsc) {
    StopConnecting();
    return;
  }
  if (key == '\r') {
    if (input_line.empty()) return;
    std::string line = std::move(input_line);
    input_line.clear();
    input_after_cursor_ = 0;
    input_start_ = 0;
    EraseInputLine();
    history_.Add(line);
    ProcessInputLine(line);
    RedrawInputLine();
    return;
  }
  // A character above 127 arrives as its UTF-8 bytes; it counts once all of them are in. The
  // limit and the row count characters.
  const bool complete = key_chars_.Feed(byte);
  if (byte >= 0x80 && !complete) return;
  if (key == '\t') {
    CompleteNick();
    return;
  }
  if (byte < 0x20 || byte == 0x7F) {
    for (const EditKey& edit : kEditKeys) {
      if (!edit.extended && edit.key == byte)
        EditInputLine([&](LineEdit& line) { return (line.*edit.edit)(); });
    }
    return;
  }
  EditInputLine([&](LineEdit& line) { return line.Insert(key_chars_.chars()); });
}

void Client::HandleExtendedKey(uint8_t scan) {
  if (scan == door::kScanUp || scan == door::kScanDown) {
    std::optional<std::string> recalled =
        scan == door::kScanUp ? history_.Older(input_line) : history_.Newer();
    if (!recalled) return;
    EditInputLine([&](LineEdit& line) {
      const bool moved = line.End();
      const bool cut = line.CutToStart();
      return line.ReplaceBefore(0, *recalled) || moved || cut;
    });
    return;
  }
  for (const EditKey& edit : kEditKeys) {
    if (edit.extended && edit.key == scan) EditInputLine([&](LineEdit& line) { return (line.*edit.edit)(); });
  }
}

void Client::CompleteNick() {
  const std::optional<NickCompletion::Replacement> replacement =
      nick_completion_.Next(input_line, InputCursor(), channel_members_.Of(targets.ActiveName()), nick_);
  if (!replacement) return;
  EditInputLine([&](LineEdit& line) { return line.ReplaceBefore(replacement->from, replacement->text); });
  nick_completion_.Applied(input_line, InputCursor());
}

template <typename Edit>
void Client::EditInputLine(Edit edit) {
  const std::string before = input_line;
  const size_t before_cursor = InputCursor();
  size_t cursor = before_cursor;
  LineEdit line(input_line, cursor, kInputLineLimit);
  if (!edit(line)) return;
  SetInputCursor(cursor);
  ShowInputEdit(before, before_cursor);
}

void Client::ShowInputEdit(std::string_view before, size_t before_cursor) {
  const bool utf8 = CallerIsUtf8();
  const int room = InputRoom();
  const LineWindow was = VisibleWindow(before, before_cursor, input_start_, room, utf8);
  const size_t cursor = InputCursor();
  const LineWindow now = VisibleWindow(input_line, cursor, was.start, room, utf8);
  const bool text_changed = before != input_line;
  if (was.start != now.start || (text_changed && !InputLineFits())) {
    RedrawInputLine();
    return;
  }
  // Both rows start at the same character: from the first one that differs on, the old row is
  // written over with the new one.
  const std::string_view old_row = before.substr(was.start, was.end - was.start);
  const std::string_view new_row = std::string_view(input_line).substr(now.start, now.end - now.start);
  const size_t old_cursor = before_cursor - was.start;
  const size_t new_cursor = cursor - now.start;
  size_t same = 0;
  while (same < old_row.size() && same < new_row.size() && old_row[same] == new_row[same]) ++same;
  while (same > 0 && ((same < new_row.size() && IsContinuation(new_row[same])) ||
                      (same < old_row.size() && IsContinuation(old_row[same])))) {
    --same;
  }
  std::string out;
  bool drawn = true;
  if (same < old_row.size() || same < new_row.size()) {
    if (old_cursor > same) {
      drawn = AppendLeft(out, ColumnsOf(old_row.substr(same, old_cursor - same)), true);
    } else {
      text::AppendShownUtf8(out, new_row.substr(old_cursor, same - old_cursor));
    }
    text::AppendShownUtf8(out, new_row.substr(same));
    const CharColumns gone = ColumnsOf(old_row.substr(same));
    const CharColumns kept = ColumnsOf(new_row.substr(same));
    CharColumns back = ColumnsOf(new_row.substr(new_cursor));
    if (gone.console - kept.console == 1 && gone.caller - kept.caller == 1) {
      out.push_back(' ');
      ++back.console;
      ++back.caller;
    } else if (gone.console > kept.console || gone.caller > kept.caller) {
      out += "\x1B[K";
    }
    drawn = drawn && AppendLeft(out, back, new_cursor < new_row.size());
  } else if (new_cursor < old_cursor) {
    drawn = AppendLeft(out, ColumnsOf(new_row.substr(new_cursor, old_cursor - new_cursor)), true);
  } else {
    text::AppendShownUtf8(out, new_row.substr(old_cursor, new_cursor - old_cursor));
  }
  if (!drawn) {
    RedrawInputLine();
    return;
  }
  const CharColumns left = ColumnsOf(new_row.substr(0, new_cursor));
  caller_extra_columns_ = left.caller - left.console;
  door_.DoorWrite(out);
}

}  // namespace irc
