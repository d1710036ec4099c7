// The scrolling screen: shown lines and status lines, the input line with its target prompt, and
// the list of conversation targets.
#include <algorithm>
#include <string>

#include "door/door.h"
#include "irc/client.h"
#include "irc/target_limits.h"
#include "platform/console.h"

namespace irc {
namespace {

// Prompt text plus visible input never take more than this many columns.
constexpr int kInputLineWidth = 79;
constexpr std::string_view kLightGrey = door::colour::kGrey;

}  // namespace

void AppendShownLine(std::string& out, std::string_view text) {
  out.reserve(out.size() + text.size() + 8);
  out.append(kLightGrey);
  // Shown lines never carry our own escape sequences, so every ESC in one came from outside (a
  // server or another IRC user): it is shown as "^[" and cannot drive the caller's terminal.
  for (size_t esc; (esc = text.find('\x1b')) != std::string_view::npos; text.remove_prefix(esc + 1)) {
    out.append(text.substr(0, esc));
    out.append("^[");
  }
  out.append(text);
  out.append("\r\n");
}

void Client::ShowLine(std::string_view text) {
  std::string line;
  AppendShownLine(line, text);
  door_.DoorWrite(line);
}

void Client::ShowStatus(std::string_view text) {
  std::string line(kStatusMarker);
  line.append(text);
  ShowLine(line);
}

void Client::EraseInputLine() {
  int column = door_.console().WhereX();
  if (column <= 1) return;
  door_.DoorWrite("\x1B[" + std::to_string(column - 1) + "D\x1B[K");
}

const std::string& Client::ActiveTargetName() const {
  // The index is kept in range by every change to the targets; the guard only avoids reading
  // past the list should that ever fail.
  return active_target >= 0 && active_target < static_cast<int>(targets.size()) ? targets[active_target]
                                                                                : targets[0];
}

// The prompt "[target] " takes the name as the prompt shows it and three more columns; the input
// line has the rest.
int Client::InputRoom() const {
  return kInputLineWidth - static_cast<int>(std::min(ActiveTargetName().size(), kMaxPromptNameLength) + 3);
}

bool Client::InputLineFits() const {
  return static_cast<int>(input_line.size()) < InputRoom();
}

void Client::DrawInputLine() {
  const std::string name = PromptName(ActiveTargetName());
  const int room = InputRoom();
  std::string_view tail = input_line;
  if (room <= 0) {
    tail = {};
  } else if (tail.size() > static_cast<size_t>(room)) {
    tail.remove_prefix(tail.size() - room);
  }
  std::string text;
  text.reserve(name.size() + tail.size() + 5);
  text.append(kLightGrey);
  text.push_back('[');
  text.append(name);
  text.append("] ");
  text.append(tail);
  door_.DoorWrite(text);
}

void Client::RedrawInputLine() {
  EraseInputLine();
  DrawInputLine();
}

bool Client::NextTarget() {
  int count = static_cast<int>(targets.size());
  if (count == 1 && active_target != 0) {
    active_target = 0;
    return true;
  }
  if (count > 1) {
    ++active_target;
    if (active_target >= count) active_target = 1;
    return true;
  }
  return false;
}

void Client::ResetToDisconnected() {
  EraseInputLine();
  ShowStatus("Disconnected");
  targets.assign(1, "Status");
  active_target = 0;
  server_link.Close(true);
  network_name = "<none>";
}

int Client::FindTarget(std::string_view name) const {
  for (size_t i = 0; i < targets.size(); ++i) {
    if (EqualsIgnoreCase(targets[i], name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace irc
