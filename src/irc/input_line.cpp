// Typing on the input line: printable keys up to the line's limit, Backspace, Ctrl-X to switch
// the conversation target, Enter to run the line. A key that leaves the line within its row is
// echoed as it is; otherwise the line is redrawn showing its end.
#include <string>
#include <string_view>
#include <utility>

#include "door/door.h"
#include "irc/client.h"

namespace irc {
namespace {

constexpr size_t kInputLineLimit = 200;
constexpr char kCtrlX = 0x18;

}  // namespace

void Client::HandleKey(char key) {
  // The sysop's cursor and function keys (their scan codes) type nothing either.
  if (door_.keys.last_key_extended) return;
  door::OutputBatch batch(door_);
  if (key == kCtrlX) {
    if (NextTarget()) RedrawInputLine();
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
  const auto byte = static_cast<unsigned char>(key);
  if (key != '\b' && (byte < 0x20 || byte > 0x7E)) return;
  if (key == '\b') {
    if (input_line.empty()) {
      key = 0;
    } else {
      input_line.pop_back();
      door_.DoorWrite("\x08 ");
    }
  } else if (input_line.size() < kInputLineLimit) {
    input_line.push_back(key);
  }
  if (!InputLineFits()) {
    RedrawInputLine();
  } else if (key != 0) {
    door_.DoorWrite(std::string_view(&key, 1));
  }
}

}  // namespace irc
