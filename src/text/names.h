// Names from a BBS's user record (a handle, a full name) as text: the bytes of a drop file, a
// command line or an INI file, in whatever charset the board keeps them.
#pragma once

#include <string>
#include <string_view>

namespace text {

// The name as UTF-8: bytes that form valid multi-byte UTF-8 are taken as it, every other byte above
// 0x7F as a code page 437 character (a board keeps its records in one or the other). Control
// characters (C0, DEL, C1) and invisible formatting characters are left out, so the result can go
// into an IRC line or onto a terminal.
std::string NameAsUtf8(std::string_view bytes);

// UTF-8 text folded to printable ASCII a character at a time: accented Latin letters lose their
// accent (ö to o, ß to s), full-width forms and look-alike punctuation become their ASCII
// character, a no-break or ideographic space a plain one; a character with no such stand-in is
// left out.
std::string FoldToAscii(std::string_view utf8);

}  // namespace text
