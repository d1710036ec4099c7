#include "text/utf8.h"

namespace text {

size_t EncodeUtf8(char32_t cp, char* bytes) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    bytes[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
    bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
    bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  bytes[0] = static_cast<char>(0xF0 | (cp >> 18));
  bytes[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  bytes[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  bytes[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

void AppendUtf8(std::string& out, char32_t cp) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(cp, bytes));
}

size_t CountChars(std::string_view utf8) {
  size_t count = 0;
  for (const char c : utf8) count += IsContinuation(static_cast<unsigned char>(c)) ? 0 : 1;
  return count;
}

size_t CutAtCharBoundary(std::string_view utf8, size_t max_bytes) {
  if (utf8.size() <= max_bytes) return utf8.size();
  size_t cut = max_bytes;
  while (cut > 0 && IsContinuation(static_cast<unsigned char>(utf8[cut]))) --cut;
  return cut;
}

size_t StartOfLastChars(std::string_view utf8, size_t chars) {
  size_t pos = utf8.size();
  while (pos > 0 && chars > 0) {
    --pos;
    if (!IsContinuation(static_cast<unsigned char>(utf8[pos]))) --chars;
  }
  return chars > 0 ? 0 : pos;
}

size_t PrefixOfChars(std::string_view utf8, size_t chars) {
  for (size_t pos = 0; pos < utf8.size(); ++pos) {
    if (!IsContinuation(static_cast<unsigned char>(utf8[pos])) && chars-- == 0) return pos;
  }
  return utf8.size();
}

std::string PadChars(std::string_view utf8, size_t width, bool pad_start) {
  const std::string_view cut = utf8.substr(0, PrefixOfChars(utf8, width));
  const size_t blanks = width - CountChars(cut);
  std::string out;
  out.reserve(cut.size() + blanks);
  if (pad_start) out.append(blanks, ' ');
  out.append(cut);
  if (!pad_start) out.append(blanks, ' ');
  return out;
}

bool PopLastChar(std::string& utf8) {
  if (utf8.empty()) return false;
  utf8.resize(StartOfLastChars(utf8, 1));
  return true;
}

bool Utf8Assembler::Feed(unsigned char byte) {
  if (IsContinuation(byte)) {
    if (need_ == 0 || have_ >= need_) return false;  // a stray continuation: not a character
    bytes_[have_++] = static_cast<char>(byte);
    return have_ == need_;
  }
  have_ = 1;
  bytes_[0] = static_cast<char>(byte);
  need_ = byte < 0xC0 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
  return need_ == 1;
}

}  // namespace text
