// The 005 (RPL_ISUPPORT) tokens the door acts on, read from a server's replies.
#include "irc/protocol/isupport.h"

#include <charconv>

namespace irc {
namespace {

constexpr int kMaxNickLength = 1000;

}  // namespace

void ServerSupport::Read(const ServerMessage& message) {
  const auto params = message.Params();
  // The first parameter is the nickname, the last the closing text.
  for (size_t i = 1; i + 1 < params.size(); ++i) {
    std::string_view token = params[i];
    const bool off = token.starts_with('-');
    if (off) token.remove_prefix(1);
    const size_t equals = token.find('=');
    const std::string_view key = token.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : token.substr(equals + 1);
    const ServerSupport defaults;
    if (key == "CASEMAPPING") {
      casemapping = off                         ? defaults.casemapping
                    : value == "rfc1459"        ? CaseMapping::kRfc1459
                    : value == "strict-rfc1459" ? CaseMapping::kStrictRfc1459
                                                : CaseMapping::kAscii;
    } else if (key == "CHANTYPES") {
      chantypes = off ? defaults.chantypes : std::string(value.substr(0, kMaxListLength));
    } else if (key == "PREFIX") {
      // "(ov)@+": the modes in brackets, then their prefixes; an empty value means none.
      const size_t close = value.find(')');
      if (off) {
        prefix_modes = defaults.prefix_modes;
        prefix_symbols = defaults.prefix_symbols;
      } else if (value.empty()) {
        prefix_modes.clear();
        prefix_symbols.clear();
      } else if (value.starts_with('(') && close != std::string_view::npos &&
                 value.size() - close - 1 == close - 1 && close - 1 <= kMaxListLength) {
        prefix_modes = std::string(value.substr(1, close - 1));
        prefix_symbols = std::string(value.substr(close + 1));
      }
    } else if (key == "NICKLEN") {
      int length = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
      if (off) {
        nicklen = defaults.nicklen;
      } else if (error == std::errc() && end == value.data() + value.size() && length > 0 &&
                 length <= kMaxNickLength) {
        nicklen = length;
      }
    } else if (key == "UTF8ONLY") {
      utf8only = !off;
    }
  }
}

bool ServerSupport::SameName(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i], casemapping) != FoldCase(b[i], casemapping)) return false;
  }
  return true;
}

bool ServerSupport::IsChannel(std::string_view name) const {
  return !name.empty() && chantypes.find(name.front()) != std::string::npos;
}

std::string_view ServerSupport::WithoutPrefixes(std::string_view name) const {
  while (!name.empty() && prefix_symbols.find(name.front()) != std::string::npos) name.remove_prefix(1);
  return name;
}

}  // namespace irc
