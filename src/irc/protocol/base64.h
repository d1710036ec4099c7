// Base64 (RFC 4648, with padding), as SASL carries credentials.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace irc {

std::string Base64Encode(std::string_view bytes);
// The bytes of padded base64 text; nothing for text that is not (a wrong character, a length that
// is not a multiple of 4, padding inside the text, bits left over in the last group).
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace irc
