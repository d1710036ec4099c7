// A server's TLS port and certificate settings, and the texts for a refused certificate.
#include "irc/session/server_tls.h"

#include "irc/protocol/port.h"
#include "irc/session/network_keys.h"
#include "text/ascii.h"
#include "text/characters.h"

namespace irc {
namespace {

struct FailureText {
  platform::TlsFailure failure;
  std::string_view text;
};

constexpr FailureText kFailureTexts[] = {
    {platform::TlsFailure::kUntrusted, "TLS: certificate not trusted"},
    {platform::TlsFailure::kExpired, "TLS: certificate expired"},
    {platform::TlsFailure::kNotYetValid, "TLS: certificate not valid yet"},
    {platform::TlsFailure::kNameMismatch, "TLS: certificate is for another host name"},
    {platform::TlsFailure::kPinMismatch, "TLS: certificate does not match tlsfingerprint"},
    {platform::TlsFailure::kHandshake, "TLS: handshake failed"},
    {platform::TlsFailure::kNoLibrary, "TLS: OpenSSL (libssl3) is not installed"},
    {platform::TlsFailure::kNotInThisBuild, "TLS is not available in this build"},
};

}  // namespace

ServerPort ParseServerPort(std::string_view text) {
  ServerPort result;
  text = text::TrimBlanks(text);
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    // "++6697" or "+-1" is no port at all.
    if (text.starts_with('+') || text.starts_with('-')) return result;
    if (const std::optional<int> port = PortNumber(text, /*hex_allowed=*/true)) result = {*port, true};
    return result;
  }
  if (const std::optional<int> port = PortNumber(text, /*hex_allowed=*/true)) result.port = *port;
  return result;
}

std::optional<std::string> ParseFingerprint(std::string_view text) {
  text = text::TrimBlanks(text);
  std::string bytes;
  size_t i = 0;
  while (i < text.size()) {
    if (!bytes.empty() && text[i] == ':') ++i;
    if (i + 2 > text.size()) return std::nullopt;
    const int high = text::HexValue(text[i]);
    const int low = text::HexValue(text[i + 1]);
    if (high < 0 || low < 0 || bytes.size() == 32) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (bytes.size() != 32) return std::nullopt;
  return bytes;
}

TlsPolicy TlsPolicyOf(const IniSection* section) {
  TlsPolicy policy;
  if (section == nullptr) return policy;
  if (const std::string* verify = section->Find("tlsverify"))
    policy.verify = ParseIniSwitch(*verify).value_or(true);
  const std::string* pin = section->Find("tlsfingerprint");
  if (pin == nullptr || text::TrimBlanks(*pin).empty()) return policy;
  if (std::optional<std::string> bytes = ParseFingerprint(*pin)) {
    policy.pin = *bytes;
  } else {
    policy.pin_malformed = true;
  }
  return policy;
}

std::string_view TlsFailureText(platform::TlsFailure failure) {
  for (const FailureText& row : kFailureTexts) {
    if (row.failure == failure) return row.text;
  }
  return "TLS: handshake failed";
}

}  // namespace irc
