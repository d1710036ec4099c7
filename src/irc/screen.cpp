// The scrolling screen: shown lines and status lines, the input line with its target prompt, and
// the list of conversation targets.
#include <algorithm>
#include <string>

#include "door/door.h"
#include "irc/client.h"
#include "irc/protocol/target_limits.h"
#include "platform/console.h"
#include "text/caller_charset.h"
#include "text/characters.h"
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
// from outside can drive the caller's terminal. A line shown while the input line is drawn (the
// session's own news between keys) goes above it.
void Client::ShowLine(std::string_view text) {
  WriteShownLine(kLightGrey, text);
}

void Client::ShowStatus(std::string_view text) {
  WriteShownLine(kStatusPrefix, text);
}

void Client::WriteShownLine(std::string_view prefix, std::string_view text) {
  const std::string stamped = line_stamp_.empty() ? std::string() : StampedPrefix(prefix);
  const std::string_view shown_prefix = line_stamp_.empty() ? prefix : std::string_view(stamped);
  // The sysop chat has the screen: what arrives meanwhile waits for its end.
  if (door_.sysop.chat_active) {
    held_lines_.Hold(shown_prefix, text);
    return;
  }
  const bool shown = input_shown_;
  if (shown) EraseInputLine();
  door_.DoorWriteIrcLine(shown_prefix, text);
  if (shown) DrawInputLine();
}

void Client::ChatEnded() {
  door::OutputBatch batch(door_);
  // The chat cleared the screen and has left the cursor at the start of an empty row.
  input_shown_ = false;
  caller_extra_columns_ = 0;
  if (const size_t dropped = held_lines_.TakeDropped(); dropped > 0) {
    ShowStatus(std::to_string(dropped) + " earlier lines from IRC were left out during the chat");
  }
  for (const HeldLines::Line& line : held_lines_.Take()) door_.DoorWriteIrcLine(line.shown, line.irc);
  // A prompt of the client's own (the network menu, the login) is still waiting for its answer.
  if (own_prompt_ == nullptr) {
    DrawInputLine();
  } else if (own_prompt_->redraw_) {
    own_prompt_->redraw_();
  }
}

// "[2:02:11 pm] " in dark grey after the prefix, the text in grey after it.
std::string Client::StampedPrefix(std::string_view prefix) const {
  using namespace door::colour;
  return std::string(prefix) + kDarkGrey + "[" + line_stamp_ + "] " + kGrey;
}

void Client::EraseInputLine() {
  if (door_.sysop.chat_active) return;
  input_shown_ = false;
  // The caller's cursor is further right by the extra columns of wide characters; the console's
  // cursor stops at column 1.
  const int left = door_.console().WhereX() - 1 + caller_extra_columns_;
  caller_extra_columns_ = 0;
  if (left <= 0) return;
  door_.DoorWrite("\x1B[" + std::to_string(left) + "D\x1B[K");
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
  return RoomAfterPrompt(std::min(text::IrcName(ActiveTargetName()).size(), kMaxPromptNameLength));
}

int Client::RoomAfterPrompt(size_t prompt_name_size) {
  return kInputLineWidth - static_cast<int>(prompt_name_size + 3);
}

bool Client::InputLineFits() const {
  return ColumnsOf(input_line).caller < InputRoom();
}

Client::CharColumns Client::ColumnsOf(std::string_view typed) const {
  const bool utf8 = door_.HasCaller() && door_.visit.caller_charset == text::CallerCharset::kUtf8;
  CharColumns columns;
  for (size_t i = 0; i < typed.size();) {
    char32_t cp = 0;
    const size_t length = text::DecodeUtf8(typed, i, cp);
    if (length == 0) {  // not expected from the key stream; shown as one byte
      ++columns.console;
      ++columns.caller;
      ++i;
      continue;
    }
    i += length;
    // The console shows the code page 437 byte or a stand-in, or nothing for a character without
    // one; so does every caller but a UTF-8 one, which is sent the character itself.
    const text::ShownForm form = text::ShownFormFor(cp);
    const int shown = form.kind == text::ShownKind::kByte || form.byte != 0 ? 1 : 0;
    columns.console += shown;
    columns.caller += utf8 && form.kind != text::ShownKind::kByte ? text::ColumnWidth(cp) : shown;
  }
  return columns;
}

void Client::DrawInputLine() {
  if (door_.sysop.chat_active) return;
  // A target's name comes from the server: no formatting, no control byte reaches the prompt.
  const std::string name = PromptName(text::IrcName(ActiveTargetName()));
  const int room = RoomAfterPrompt(name.size());
  // The end of the line that fits in the room, counted in the caller's columns.
  std::string_view tail = input_line;
  CharColumns drawn = ColumnsOf(tail);
  while (!tail.empty() && drawn.caller > std::max(room, 0)) {
    const size_t next = text::PrefixOfChars(tail, 1);
    const CharColumns first = ColumnsOf(tail.substr(0, next));
    drawn.caller -= first.caller;
    drawn.console -= first.console;
    tail.remove_prefix(next);
  }
  caller_extra_columns_ = drawn.caller - drawn.console;
  std::string shown;
  shown.reserve(name.size() + tail.size() + 5);
  shown.append(kLightGrey);
  shown.push_back('[');
  shown.append(name);
  shown.append("] ");
  text::AppendShownUtf8(shown, tail);
  door_.DoorWrite(shown);
  input_shown_ = true;
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
  // The caller ended the link: no reconnect, and nothing of it is restored later.
  session.Stop();
  resume_notes.Clear();
  rejoining_.clear();
  server_link.Close(true);
  network_name = "<none>";
  SetNetworkCharset(text::NetworkCharset::kUtf8);
}

int Client::FindTarget(std::string_view name) const {
  for (size_t i = 0; i < targets.size(); ++i) {
    if (server_support.SameName(targets[i], name)) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace irc
