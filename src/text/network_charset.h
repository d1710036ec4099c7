// The charsets a network may use instead of UTF-8 for received and sent text: received text
// becomes UTF-8 before anything reads it, and typed text goes out in the network's charset.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

// A network's charset for received and sent text.
enum class NetworkCharset : uint8_t { kUtf8, kCp437, kLatin1, kWindows1252 };
std::optional<NetworkCharset> ParseNetworkCharset(std::string_view name);
// Received text in a legacy charset as UTF-8; every byte below 0x80 stays as it is.
void AppendNetworkToUtf8(std::string& out, std::string_view text, NetworkCharset charset);
// UTF-8 text in the network's charset (a character it lacks becomes its stand-in).
void AppendUtf8ToNetwork(std::string& out, std::string_view utf8, NetworkCharset charset);

}  // namespace text
