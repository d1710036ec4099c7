#include "text/utf8.h"

namespace text {

size_t DecodeUtf8(std::string_view text, size_t pos, char32_t& cp) {
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

void AppendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    const char bytes[2] = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 2);
  } else if (cp < 0x10000) {
    const char bytes[3] = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                           static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 3);
  } else {
    const char bytes[4] = {
        static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
        static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    out.append(bytes, 4);
  }
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
