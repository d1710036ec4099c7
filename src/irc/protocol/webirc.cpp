// The WEBIRC line that names the caller's address to a trusting network.
#include "irc/protocol/webirc.h"

namespace irc {
namespace {

constexpr size_t kMaxIpv6Length = 45;  // "ffff:...:255.255.255.255"

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Four decimal parts of 0 to 255, each of one to three digits.
bool IsIpv4(std::string_view text) {
  int parts = 0;
  while (true) {
    size_t digits = 0;
    int value = 0;
    while (digits < text.size() && IsDigit(text[digits])) {
      value = value * 10 + (text[digits] - '0');
      if (++digits > 3) return false;
    }
    if (digits == 0 || value > 255) return false;
    ++parts;
    text.remove_prefix(digits);
    if (text.empty()) return parts == 4;
    if (text.front() != '.' || parts == 4) return false;
    text.remove_prefix(1);
  }
}

// Groups of up to four hex digits separated by ":", at most one "::", optionally ending in an
// IPv4 address; eight groups (an IPv4 ending counts as two) without "::", fewer with it.
bool IsIpv6(std::string_view text) {
  if (text.size() < 2 || text.size() > kMaxIpv6Length) return false;
  bool compressed = false;
  int groups = 0;
  size_t i = 0;
  if (text.starts_with("::")) {
    compressed = true;
    i = 2;
  } else if (text.front() == ':') {
    return false;
  }
  while (i < text.size()) {
    size_t end = i;
    while (end < text.size() && IsHexDigit(text[end])) ++end;
    if (end < text.size() && text[end] == '.') {
      if (!IsIpv4(text.substr(i))) return false;
      groups += 2;
      i = text.size();
      break;
    }
    if (end == i || end - i > 4) return false;
    ++groups;
    i = end;
    if (i == text.size()) break;
    if (text[i] != ':') return false;
    ++i;
    if (i < text.size() && text[i] == ':') {
      if (compressed) return false;
      compressed = true;
      ++i;
    } else if (i == text.size()) {
      return false;  // a single ":" at the end
    }
  }
  return compressed ? groups < 8 : groups == 8;
}

}  // namespace

std::string CallerAddressForWebirc(std::string_view text) {
  if (IsIpv4(text)) return std::string(text);
  if (!IsIpv6(text)) return {};
  return text.front() == ':' ? "0" + std::string(text) : std::string(text);
}

std::string WebircLine(std::string_view password, std::string_view caller_address) {
  if (password.empty() || password.front() == ':') return {};
  for (char c : password) {
    if (static_cast<unsigned char>(c) <= 0x20) return {};
  }
  const std::string address = CallerAddressForWebirc(caller_address);
  if (address.empty()) return {};
  std::string line = "WEBIRC ";
  line += password;
  line += ' ';
  line += kWebircGateway;
  line += ' ';
  line += address;
  line += ' ';
  line += address;
  return line;
}

}  // namespace irc
