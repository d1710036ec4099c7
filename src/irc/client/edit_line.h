// The input line as an editable text: UTF-8 characters with a cursor between them, the edits the
// keys make, and the part of a long line that the row shows. Nothing here draws: the screen
// (screen.cpp, input_line.cpp) shows what these say.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace irc {

// The columns text takes on the local console and on the caller's terminal: they differ for a
// UTF-8 caller's wide characters (two columns there, one stand-in on the console) and for
// characters the console has no stand-in for (none there).
struct CharColumns {
  int console = 0;
  int caller = 0;
  bool operator==(const CharColumns&) const = default;
};
CharColumns ColumnsOf(std::string_view typed, bool utf8_caller);

// Where characters begin and end around a byte offset of well-formed UTF-8 text.
size_t CharBefore(std::string_view text, size_t pos);
size_t CharAfter(std::string_view text, size_t pos);

// The edits of the input line's keys on text with its cursor (a byte offset at a character's
// start). Each returns whether it changed the text or the cursor: a key that changes nothing
// sends nothing.
class LineEdit {
 public:
  LineEdit(std::string& text, size_t& cursor, size_t max_chars)
      : text_(text), cursor_(cursor), max_chars_(max_chars) {}

  bool Insert(std::string_view character);  // nothing once the line has max_chars characters
  bool Backspace();                         // the character before the cursor
  bool Delete();                            // the character under the cursor
  bool Left();
  bool Right();
  bool Home();
  bool End();
  bool CutToStart();
  bool CutToEnd();
  bool CutWordBefore();  // the blanks before the cursor and the word before them
  // Puts replacement in place of [from, cursor), cut to the limit; the cursor follows it.
  bool ReplaceBefore(size_t from, std::string_view replacement);

 private:
  std::string& text_;
  size_t& cursor_;
  size_t max_chars_;
};

// The part of the text a row of `room` caller columns shows: [start, end). The start follows the
// cursor: it stays where it was (`previous_start`) while the cursor and the character under it
// are inside the row, moves just enough to bring them in, and moves back to show as much of the
// end of the line as fits. With the cursor at the end the row shows the line's last `room`
// columns, the cursor in the column after them.
struct LineWindow {
  size_t start = 0;
  size_t end = 0;
};
LineWindow VisibleWindow(std::string_view text, size_t cursor, size_t previous_start, int room,
                         bool utf8_caller);

}  // namespace irc
