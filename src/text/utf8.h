// UTF-8 as the door meets it: a strict decoder that tells where a sequence is not valid (so the
// caller can take that byte some other way), an encoder, and character counts and cuts that never
// split a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Decodes the character that starts at text[pos]. Returns its length in bytes (1-4) and sets cp,
// or 0 when the bytes there are not a valid, shortest-form UTF-8 sequence (surrogates and values
// above U+10FFFF included).
size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& cp);

// The UTF-8 bytes of cp (U+0000-U+10FFFF; anything else appends U+FFFD).
void AppendUtf8(std::string& out, char32_t cp);

// A byte that continues a sequence (10xxxxxx).
constexpr bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// Characters in well-formed UTF-8 text: the bytes that start one.
size_t CountChars(std::string_view utf8);

// The length of the longest prefix of at most max_bytes that ends on a character boundary.
size_t CutAtCharBoundary(std::string_view utf8, size_t max_bytes);

// The byte offset where the last `chars` characters begin (0 when the text has fewer).
size_t StartOfLastChars(std::string_view utf8, size_t chars);

// The length in bytes of the first `chars` characters (the whole text when it has fewer).
size_t PrefixOfChars(std::string_view utf8, size_t chars);

// Padded with blanks at its end (pad_start false) or start, or cut, to exactly `width` characters.
std::string PadChars(std::string_view utf8, size_t width, bool pad_start);

// Removes the last character; false when the text is empty.
bool PopLastChar(std::string& utf8);

// Collects the bytes of one character handed over a byte at a time from a stream that carries
// only valid UTF-8 (the door's key stream). Feed returns true when a character is complete; it is
// then in chars() until the next Feed.
class Utf8Assembler {
 public:
  bool Feed(unsigned char byte);
  std::string_view chars() const { return std::string_view(bytes_, have_); }

 private:
  char bytes_[4] = {};
  size_t have_ = 0;
  size_t need_ = 0;
};

}  // namespace text
