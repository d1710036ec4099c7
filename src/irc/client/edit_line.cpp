// The input line's text and cursor: the edits the keys make and the part of the line the row shows.
#include "irc/client/edit_line.h"

#include <algorithm>

#include "text/characters.h"
#include "text/utf8.h"

namespace irc {
namespace {

bool IsBlank(char c) {
  return c == ' ';
}

}  // namespace

CharColumns ColumnsOf(std::string_view typed, bool utf8_caller) {
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
    columns.caller += utf8_caller && form.kind != text::ShownKind::kByte ? text::ColumnWidth(cp) : shown;
  }
  return columns;
}

size_t CharBefore(std::string_view text, size_t pos) {
  return text::StartOfLastChars(text.substr(0, std::min(pos, text.size())), 1);
}

size_t CharAfter(std::string_view text, size_t pos) {
  if (pos >= text.size()) return text.size();
  return pos + text::PrefixOfChars(text.substr(pos), 1);
}

bool LineEdit::Insert(std::string_view character) {
  if (character.empty()) return false;
  // A line never has more characters than bytes: only a long one needs counting.
  if (text_.size() >= max_chars_ && text::CountChars(text_) >= max_chars_) return false;
  text_.insert(cursor_, character);
  cursor_ += character.size();
  return true;
}

bool LineEdit::Backspace() {
  if (cursor_ == 0) return false;
  const size_t from = CharBefore(text_, cursor_);
  text_.erase(from, cursor_ - from);
  cursor_ = from;
  return true;
}

bool LineEdit::Delete() {
  if (cursor_ >= text_.size()) return false;
  text_.erase(cursor_, CharAfter(text_, cursor_) - cursor_);
  return true;
}

bool LineEdit::Left() {
  if (cursor_ == 0) return false;
  cursor_ = CharBefore(text_, cursor_);
  return true;
}

bool LineEdit::Right() {
  if (cursor_ >= text_.size()) return false;
  cursor_ = CharAfter(text_, cursor_);
  return true;
}

bool LineEdit::Home() {
  if (cursor_ == 0) return false;
  cursor_ = 0;
  return true;
}

bool LineEdit::End() {
  if (cursor_ >= text_.size()) return false;
  cursor_ = text_.size();
  return true;
}

bool LineEdit::CutToStart() {
  if (cursor_ == 0) return false;
  text_.erase(0, cursor_);
  cursor_ = 0;
  return true;
}

bool LineEdit::CutToEnd() {
  if (cursor_ >= text_.size()) return false;
  text_.resize(cursor_);
  return true;
}

bool LineEdit::CutWordBefore() {
  size_t from = cursor_;
  while (from > 0 && IsBlank(text_[from - 1])) --from;
  while (from > 0 && !IsBlank(text_[from - 1])) --from;  // bytes of a word: none is a blank
  if (from == cursor_) return false;
  text_.erase(from, cursor_ - from);
  cursor_ = from;
  return true;
}

bool LineEdit::ReplaceBefore(size_t from, std::string_view replacement) {
  from = std::min(from, cursor_);
  const size_t others =
      text::CountChars(text_) - text::CountChars(std::string_view(text_).substr(from, cursor_ - from));
  const size_t room = max_chars_ > others ? max_chars_ - others : 0;
  const std::string_view kept = replacement.substr(0, text::PrefixOfChars(replacement, room));
  if (std::string_view(text_).substr(from, cursor_ - from) == kept) return false;
  text_.replace(from, cursor_ - from, kept);
  cursor_ = from + kept.size();
  return true;
}

LineWindow VisibleWindow(std::string_view text, size_t cursor, size_t previous_start, int room,
                         bool utf8_caller) {
  const int width = std::max(room, 0);
  cursor = std::min(cursor, text.size());
  size_t start = std::min(previous_start, cursor);
  // Back to a character's start, should the text have changed under it.
  while (start > 0 && start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80)
    --start;
  // The cursor's character (none at the end) must end inside the row.
  const size_t cursor_end = CharAfter(text, cursor);
  int used = ColumnsOf(text.substr(start, cursor_end - start), utf8_caller).caller;
  while (start < cursor && used > width) {
    const size_t next = CharAfter(text, start);
    used -= ColumnsOf(text.substr(start, next - start), utf8_caller).caller;
    start = next;
  }
  // Showing as much of the line's end as fits.
  int rest = ColumnsOf(text.substr(start), utf8_caller).caller;
  while (start > 0 && rest <= width) {
    const size_t before = CharBefore(text, start);
    const int more = ColumnsOf(text.substr(before, start - before), utf8_caller).caller;
    if (rest + more > width) break;
    rest += more;
    start = before;
  }
  // The row ends where the next character would pass its last column.
  size_t end = start;
  int shown = 0;
  while (end < text.size()) {
    const size_t next = CharAfter(text, end);
    const int more = ColumnsOf(text.substr(end, next - end), utf8_caller).caller;
    if (shown + more > width) break;
    shown += more;
    end = next;
  }
  return {start, end};
}

}  // namespace irc
