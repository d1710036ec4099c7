// Typing on the input line: printable keys up to the line's limit, Backspace, Ctrl-X to switch
// the conversation target, Enter to run the line. A key that leaves the line within its row is
// echoed as it is; otherwise the line is redrawn showing its end. The row is counted in the
// caller's columns: a UTF-8 terminal gives wide characters two.
#include <string>
#include <string_view>
#include <utility>

#include "door/door.h"
#include "irc/client.h"
#include "text/caller_charset.h"
#include "text/utf8.h"

namespace irc {
namespace {

constexpr size_t kInputLineLimit = 200;
constexpr char kCtrlX = 0x18;
constexpr char kEsc = 0x1B;

}  // namespace

void Client::HandleKey(char key) {
  // The sysop's cursor and function keys (their scan codes) type nothing either.
  if (door_.keys.last_key_extended) return;
  door::OutputBatch batch(door_);
  // A key that changes nothing sends nothing: it can be repeated without end.
  if (key == kCtrlX) {
    const int before = active_target;
    if (NextTarget() && active_target != before) RedrawInputLine();
    return;
  }
  // Esc stops a connect under way or a planned reconnect; otherwise it does nothing.
  if (key == kEsc) {
    StopConnecting();
    return;
  }
  if (key == '\r') {
    if (input_line.empty()) return;
    std::string line = std::move(input_line);
    input_line.clear();
    EraseInputLine();
    ProcessInputLine(line);
    RedrawInputLine();
    return;
  }
  // A character above 127 arrives as its UTF-8 bytes; it counts once all of them are in. The
  // limit and the row count characters.
  const auto byte = static_cast<unsigned char>(key);
  const bool complete = key_chars_.Feed(byte);
  if (byte >= 0x80 && !complete) return;
  if (key != '\b' && byte < 0x80 && (byte < 0x20 || byte > 0x7E)) return;
  // A character that takes one column on both screens is echoed or rubbed out in place; any
  // other (a UTF-8 caller's wide character, one without a stand-in) redraws the line.
  CharColumns changed;
  if (key == '\b') {
    if (input_line.empty()) return;
    const size_t last = text::StartOfLastChars(input_line, 1);
    changed = ColumnsOf(std::string_view(input_line).substr(last));
    input_line.resize(last);
  } else {
    // A line never has more characters than bytes: only a long one needs counting.
    if (input_line.size() >= kInputLineLimit && text::CountChars(input_line) >= kInputLineLimit) return;
    changed = ColumnsOf(key_chars_.chars());
    input_line.append(key_chars_.chars());
  }
  if (!InputLineFits() || (key == '\b' && (changed.console != 1 || changed.caller != 1))) {
    RedrawInputLine();
  } else if (key == '\b') {
    door_.DoorWrite("\x08 \x08");
  } else {
    std::string echo;
    text::AppendShownUtf8(echo, key_chars_.chars());
    door_.DoorWrite(echo);
    caller_extra_columns_ += changed.caller - changed.console;
  }
}

}  // namespace irc
