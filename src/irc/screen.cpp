// The scrolling screen: shown lines and status lines, the input line with its target prompt, and
// the list of conversation targets.
#include <algorithm>
#include <string>

#include "door/door.h"
#include "irc/client.h"
#include "irc/target_limits.h"
#include "platform/console.h"
#include "text/caller_charset.h"
#include "text/irc_text.h"
#include "text/utf8.h"

namespace irc {
namespace {

// Prompt text plus visible input never take more than this many columns.
constexpr int kInputLineWidth = 79;
constexpr std::string_view kLightGrey = door::colour::kGrey;
// A status line's colour and marker.
constexpr std::string_view kStatusPrefix = "\1777\177C\xF9\177F\xED\177C\xF9\1777 ";
static_assert(kStatusPrefix.substr(kLightGrey.size()) == kStatusMarker);

}  // namespace

// The text is UTF-8 (or Windows-1252 bytes) from the server and the user, with our colour codes:
// its formatting becomes colours and every control byte in it is shown in caret form, so nothing
// from outside can drive the caller's terminal.
void Client::ShowLine(std::string_view text) {
  door_.DoorWriteIrcLine(kLightGrey, text);
}

void Client::ShowStatus(std::string_view text) {
  door_.DoorWriteIrcLine(kStatusPrefix, text);
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
// line has the rest. Columns are characters: the name as shown has one byte a column (controls in
// caret form), the typed text is UTF-8.
int Client::InputRoom() const {
  return kInputLineWidth -
         static_cast<int>(std::min(text::IrcName(ActiveTargetName()).size(), kMaxPromptNameLength) + 3);
}

bool Client::InputLineFits() const {
  return static_cast<int>(text::CountChars(input_line)) < InputRoom();
}

void Client::DrawInputLine() {
  // A target's name comes from the server: no formatting, no control byte reaches the prompt.
  const std::string name = PromptName(text::IrcName(ActiveTargetName()));
  const int room = InputRoom();
  std::string_view tail = input_line;
  if (room <= 0) {
    tail = {};
  } else {
    tail.remove_prefix(text::StartOfLastChars(tail, static_cast<size_t>(room)));
  }
  std::string shown;
  shown.reserve(name.size() + tail.size() + 5);
  shown.append(kLightGrey);
  shown.push_back('[');
  shown.append(name);
  shown.append("] ");
  text::AppendShownUtf8(shown, tail);
  door_.DoorWrite(shown);
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
  SetNetworkCharset(text::NetworkCharset::kUtf8);
}

int Client::FindTarget(std::string_view name) const {
  for (size_t i = 0; i < targets.size(); ++i) {
    if (EqualsIgnoreCase(targets[i], name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace irc
