// ASCII text helpers for what comes from drop files, command lines, INI files and IRC words.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace text {

// A whole text that is a decimal integer (optional sign, digits only, within int range).
std::optional<int> ParseDecimal(std::string_view text);
std::string UpperAscii(std::string_view s);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Without blanks and tabs at both ends.
std::string_view TrimBlanks(std::string_view s);
// Without every character up to and including the space (controls and blanks) at both ends.
std::string_view TrimControlsAndBlanks(std::string_view s);
// Without its control bytes (below 0x20, and 0x7F): a caller's name from the BBS's user record may
// not carry one into an IRC line or onto a terminal.
std::string WithoutControls(std::string_view text);

}  // namespace text
