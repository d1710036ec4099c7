// Base64 encoding and strict decoding for SASL.
#include "irc/protocol/base64.h"

#include <cstdint>

namespace irc {

std::string Base64Encode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
                           static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  const size_t left = bytes.size() - i;
  if (left == 0) return out;
  uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
  if (left == 2) group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
  out += kAlphabet[group >> 18];
  out += kAlphabet[(group >> 12) & 63];
  out += left == 2 ? kAlphabet[(group >> 6) & 63] : '=';
  out += '=';
  return out;
}

namespace {

int DigitValue(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
    uint32_t group = 0;
    for (size_t j = 0; j < 4; ++j) {
      const int value = j >= 4 - padding ? 0 : DigitValue(text[i + j]);
      if (value < 0) return std::nullopt;
      group = group << 6 | static_cast<uint32_t>(value);
    }
    // The bits that padding leaves unused must be zero: every text has one decoding.
    if ((padding == 1 && (group & 0xFF) != 0) || (padding == 2 && (group & 0xFFFF) != 0)) return std::nullopt;
    out += static_cast<char>(group >> 16);
    if (padding < 2) out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(group & 0xFF);
  }
  return out;
}

}  // namespace irc
