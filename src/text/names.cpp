#include "text/names.h"

#include "platform/cp437.h"
#include "text/characters.h"
#include "text/utf8.h"

namespace text {

std::string NameAsUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    char32_t cp = 0;
    size_t length = DecodeUtf8(bytes, pos, cp);
    if (length == 0) {
      cp = platform::Cp437ToUnicode(static_cast<uint8_t>(bytes[pos]));
      length = 1;
    }
    pos += length;
    if (IsControl(cp) || IsHiddenFormatting(cp)) continue;
    AppendUtf8(out, cp);
  }
  return out;
}

std::string FoldToAscii(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8(utf8, pos, cp);
    pos += length == 0 ? 1 : length;
    if (length == 0 || IsControl(cp)) continue;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    if (cp == 0xA0) {
      out.push_back(' ');
      continue;
    }
    const uint8_t stand_in = FallbackFor(cp);
    // '?' is what FallbackFor gives for everything it has no look-alike for.
    if (stand_in >= 0x20 && stand_in < 0x7F && stand_in != '?') out.push_back(static_cast<char>(stand_in));
  }
  return out;
}

}  // namespace text
