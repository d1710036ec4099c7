// The scrolling screen: shown lines and status lines, the input line with its target prompt.
#include <algorithm>
#include <string>

#include "door/door.h"
#include "irc/client/client.h"
#include "irc/protocol/target_limits.h"
#include "platform/console.h"
#include "text/caller_charset.h"
#include "text/caller_writer.h"
#include "text/characters.h"
#include "text/colour_codes.h"
#include "text/irc_text.h"
#include "text/network_charset.h"
#include "text/utf8.h"

namespace irc {
namespace {

using namespace text::colour;

// Prompt text plus visible input never take more than this many columns.
constexpr int kInputLineWidth = 79;
constexpr std::string_view kLightGrey = kGrey;
// A status line's colour and marker.
constexpr std::string_view kStatusPrefix =
    Joined<kGrey, kLightRed, "\xF9", kWhite, "\xED", kLightRed, "\xF9", kGrey, " ">;
static_assert(kStatusPrefix.substr(kLightGrey.size()) == kStatusMarker);

// "[2:02:11 pm] " in dark grey after the prefix, the text in grey after it.
std::string Stamped(std::string_view prefix, std::string_view stamp) {
  return std::string(prefix) + kDarkGrey + "[" + std::string(stamp) + "] " + kGrey;
}
// The last row while older lines are shown.
constexpr std::string_view kScrollbackMarker =
    Joined<kYellow, "-- Older lines: Page Up and Page Down; End or typing returns to the newest --", kGrey>;

// Shown text, then IRC text (with the client's own colour codes in it) and CR LF: what DoorWrite
// of shown + text::AppendIrcText(irc) + "\r\n" shows, without the shown text between.
void WriteIrcLine(door::Door& door, std::string_view shown, std::string_view irc) {
  // Captured by reference: small enough to stay inside the std::function, no allocation a line.
  door.DoorWriteWith([&shown, &irc](text::CallerWriter& writer) {
    writer.Shown(shown);
    text::WriteIrcText(writer, irc);
    writer.Ascii("\r\n");
  });
}

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

// Every shown line is kept for Page Up; while the caller looks at older lines, it is only kept.
void Client::WriteShownLine(std::string_view prefix, std::string_view text) {
  scrollback_.Add(prefix == kStatusPrefix, line_stamp_, text);
  if (scrollback_.viewing()) return;
  const std::string stamped = line_stamp_.empty() ? std::string() : StampedPrefix(prefix);
  const std::string_view shown_prefix = line_stamp_.empty() ? prefix : std::string_view(stamped);
  // The sysop chat has the screen: what arrives meanwhile waits for its end.
  if (door_.sysop.chat_active) {
    held_lines_.Hold(shown_prefix, text);
    return;
  }
  const bool shown = input_shown_;
  if (shown) EraseInputLine();
  WriteIrcLine(door_, shown_prefix, text);
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
  for (const HeldLines::Line& line : held_lines_.Take()) WriteIrcLine(door_, line.shown, line.irc);
  // A prompt of the client's own (the network menu, the login) is still waiting for its answer.
  if (own_prompt_ == nullptr) {
    DrawInputLine();
  } else if (own_prompt_->redraw_) {
    own_prompt_->redraw_();
  }
}

// "[2:02:11 pm] " in dark grey after the prefix, the text in grey after it.
std::string Client::StampedPrefix(std::string_view prefix) const {
  return Stamped(prefix, line_stamp_);
}

std::string Client::ScrollbackPrefix(const Scrollback::Line& line) {
  const std::string_view prefix = line.status ? kStatusPrefix : kLightGrey;
  return line.stamp.empty() ? std::string(prefix) : Stamped(prefix, line.stamp);
}

// A page is the screenful of lines before view_end(). Lines that arrive meanwhile may push the
// shown page's lines out of the ring: the page then starts at the oldest line kept.
void Client::PageBack() {
  const uint64_t shown_end =
      scrollback_.viewing() ? std::max(scrollback_.view_end(), scrollback_.first()) : scrollback_.end();
  const uint64_t end = scrollback_.PageStartBefore(shown_end);
  const uint64_t start = scrollback_.PageStartBefore(end);
  if (start == end) return;  // nothing older
  EraseInputLine();
  scrollback_.View(end);
  ShowScrollbackPage(start, end);
}

void Client::PageForward() {
  if (!scrollback_.viewing()) return;
  const uint64_t start = std::max(scrollback_.view_end(), scrollback_.first());
  const uint64_t end = scrollback_.PageEndFrom(start);
  if (end >= scrollback_.end()) {
    ReturnFromScrollback();
    return;
  }
  scrollback_.View(end);
  ShowScrollbackPage(start, end);
}

void Client::ReturnFromScrollback() {
  if (!scrollback_.viewing()) return;
  scrollback_.StopViewing();
  door_.DoorClearScreen();
  caller_extra_columns_ = 0;
  for (uint64_t n = scrollback_.PageStartBefore(scrollback_.end()); n < scrollback_.end(); ++n) {
    const Scrollback::Line& line = scrollback_.At(n);
    WriteIrcLine(door_, ScrollbackPrefix(line), line.text);
  }
  DrawInputLine();
}

void Client::ShowScrollbackPage(uint64_t start, uint64_t end) {
  door_.DoorClearScreen();
  for (uint64_t n = start; n < end; ++n) {
    const Scrollback::Line& line = scrollback_.At(n);
    WriteIrcLine(door_, ScrollbackPrefix(line), line.text);
  }
  door_.DoorWrite(door::ConvertColourCodes(kScrollbackMarker));
}

void Client::EraseInputLine() {
  if (scrollback_.viewing()) return;  // the marker line stays
  if (door_.sysop.chat_active) return;
  input_shown_ = false;
  // The caller's cursor is further right by the extra columns of wide characters; the console's
  // cursor stops at column 1.
  const int left = door_.console().WhereX() - 1 + caller_extra_columns_;
  caller_extra_columns_ = 0;
  if (left <= 0) return;
  door_.DoorWrite("\x1B[" + std::to_string(left) + "D\x1B[K");
}

// The prompt "[target] " takes the name as the prompt shows it and three more columns; the input
// line has the rest. Columns are characters: the name as shown has one byte a column (controls in
// caret form), the typed text is UTF-8.
int Client::InputRoom() const {
  const size_t name_size = std::min(text::IrcName(targets.ActiveName()).size(), kMaxPromptNameLength);
  return RoomAfterPrompt(name_size) - static_cast<int>(PromptActivity(name_size).size());
}

// At most half of the room goes to the activity list: the rest is for typing.
std::string Client::PromptActivity(size_t prompt_name_size) const {
  return activity_.PromptText(RoomAfterPrompt(prompt_name_size) / 2);
}

int Client::RoomAfterPrompt(size_t prompt_name_size) {
  return kInputLineWidth - static_cast<int>(prompt_name_size + 3);
}

bool Client::InputLineFits() const {
  return ColumnsOf(input_line).caller < InputRoom();
}

CharColumns Client::ColumnsOf(std::string_view typed) const {
  return irc::ColumnsOf(typed, CallerIsUtf8());
}

bool Client::CallerIsUtf8() const {
  return door_.HasCaller() && door_.visit.caller_charset == text::CallerCharset::kUtf8;
}

void Client::DrawInputLine() {
  if (scrollback_.viewing()) return;
  if (door_.sysop.chat_active) return;
  // A target's name comes from the server: no formatting, no control byte reaches the prompt.
  const std::string name = PromptName(text::IrcName(targets.ActiveName()));
  const std::string others = PromptActivity(name.size());
  const int room = RoomAfterPrompt(name.size()) - static_cast<int>(others.size());
  // The part of the line that fits in the room, counted in the caller's columns.
  const size_t cursor = InputCursor();
  const LineWindow window = VisibleWindow(input_line, cursor, input_start_, room, CallerIsUtf8());
  input_start_ = window.start;
  const std::string_view line = input_line;
  const std::string_view before_cursor = line.substr(window.start, cursor - window.start);
  std::string shown;
  shown.reserve(name.size() + others.size() + (window.end - window.start) + 9);
  std::string prompt;
  prompt.append(kLightGrey);
  prompt.push_back('[');
  prompt.append(name);
  prompt.push_back(']');
  if (!others.empty()) {
    prompt.append(kYellow);
    prompt.append(others);
    prompt.append(kLightGrey);
  }
  prompt.push_back(' ');
  shown.append(prompt);
  text::AppendShownUtf8(shown, line.substr(window.start, window.end - window.start));
  if (cursor < window.end) {
    // Back to the cursor: by as many columns as the rest takes when both screens agree, otherwise
    // from the row's start, writing the prompt and the text before the cursor again.
    const CharColumns rest = ColumnsOf(line.substr(cursor, window.end - cursor));
    if (rest.console == rest.caller) {
      shown += rest.caller == 1 ? std::string("\b") : "\x1B[" + std::to_string(rest.caller) + "D";
    } else {
      shown.push_back('\r');
      shown.append(prompt);
      text::AppendShownUtf8(shown, before_cursor);
    }
  }
  const CharColumns left = ColumnsOf(before_cursor);
  caller_extra_columns_ = left.caller - left.console;
  door_.DoorWrite(shown);
  input_shown_ = true;
}

void Client::RedrawInputLine() {
  EraseInputLine();
  DrawInputLine();
}

void Client::ResetToDisconnected() {
  EraseInputLine();
  ShowStatus("Disconnected");
  targets.Reset();
  activity_.Clear();
  channel_members_.Clear();
  // The caller ended the link: no reconnect, and nothing of it is restored later.
  session.Stop();
  resume_notes_.Clear();
  rejoining_.clear();
  server_link.Close(true);
  network_name = "<none>";
  SetNetworkCharset(text::NetworkCharset::kUtf8);
}

}  // namespace irc
