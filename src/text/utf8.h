// UTF-8 as the door meets it: a strict decoder that tells where a sequence is not valid (so the
// caller can take that byte some other way), an encoder, and character counts and cuts that never
// split a character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// The UTF-8 bytes of cp (U+0000-U+10FFFF; anything else appends U+FFFD).
void AppendUtf8(std::string& out, char32_t cp);
// The same into bytes[0..3]; returns how many it wrote.
size_t EncodeUtf8(char32_t cp, char* bytes);

// A byte that continues a sequence (10xxxxxx).
constexpr bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// Decodes the character that starts at text[pos]. Returns its length in bytes (1-4) and sets cp,
// or 0 when the bytes there are not a valid, shortest-form UTF-8 sequence (surrogates and values
// above U+10FFFF included).
// Inline: it runs for every character of every line shown.
inline size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& cp) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = at(pos);
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  size_t length;
  unsigned char low = 0x80;  // the second byte's range narrows for the shortest form and limits
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - pos < length) return 0;
  const unsigned char second = at(pos + 1);
  if (second < low || second > high) return 0;
  cp = (cp << 6) | (second & 0x3F);
  for (size_t i = 2; i < length; ++i) {
    const unsigned char next = at(pos + i);
    if (!IsContinuation(next)) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  return length;
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
