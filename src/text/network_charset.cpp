#include "text/network_charset.h"

#include "platform/cp437.h"
#include "text/characters.h"
#include "text/utf8.h"

namespace text {

std::optional<NetworkCharset> ParseNetworkCharset(std::string_view name) {
  std::string upper;
  for (const char c : name) {
    if (c == ' ') continue;
    upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  if (upper.empty() || upper == "UTF-8" || upper == "UTF8") return NetworkCharset::kUtf8;
  if (upper == "CP437" || upper == "IBM437" || upper == "CP-437") return NetworkCharset::kCp437;
  if (upper == "LATIN-1" || upper == "LATIN1" || upper == "ISO-8859-1" || upper == "ISO8859-1") {
    return NetworkCharset::kLatin1;
  }
  if (upper == "WINDOWS-1252" || upper == "CP1252") return NetworkCharset::kWindows1252;
  return std::nullopt;
}

void AppendNetworkToUtf8(std::string& out, std::string_view text, NetworkCharset charset) {
  for (const char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80 || charset == NetworkCharset::kUtf8) {
      out.push_back(c);
    } else if (charset == NetworkCharset::kCp437) {
      AppendUtf8(out, platform::Cp437ToUnicode(b));
    } else if (charset == NetworkCharset::kWindows1252) {
      AppendUtf8(out, Windows1252ToUnicode(b));
    } else {
      AppendUtf8(out, b);
    }
  }
}

void AppendUtf8ToNetwork(std::string& out, std::string_view utf8, NetworkCharset charset) {
  if (charset == NetworkCharset::kUtf8) {
    out.append(utf8);
    return;
  }
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    size_t length = DecodeUtf8(utf8, i, cp);
    if (length == 0) {  // not UTF-8 after all: the byte as it is
      cp = static_cast<uint8_t>(utf8[i]);
      length = 1;
    }
    i += length;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    int b = -1;
    if (charset == NetworkCharset::kCp437) {
      b = Cp437ByteFor(cp);
    } else if (charset == NetworkCharset::kLatin1) {
      b = cp <= 0xFF ? static_cast<int>(cp) : -1;
    } else {
      for (int k = 0x80; k <= 0xFF && b < 0; ++k) {
        if (Windows1252ToUnicode(static_cast<uint8_t>(k)) == cp) b = k;
      }
    }
    if (b < 0) {
      b = FallbackFor(cp);
      if (b >= 0x80 && charset != NetworkCharset::kCp437) b = '?';  // a code page 437 stand-in
    }
    if (b != 0) out.push_back(static_cast<char>(b));
  }
}

}  // namespace text
