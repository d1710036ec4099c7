// Base64 (RFC 4648, with padding), as SASL carries credentials.
#pragma once

#include <string>
#include <string_view>

namespace irc {

std::string Base64Encode(std::string_view bytes);

}  // namespace irc
