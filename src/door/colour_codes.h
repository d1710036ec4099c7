// The door's in-text colour codes: the byte 0x7F followed by one hex digit, the PC colour (0-F) of
// the text after it. DoorWrite turns each into an ANSI colour sequence for the caller and the
// local console (text::CallerWriter). In string literals the byte is written "\177", in octal: an
// octal escape ends after three digits, so the colour digit can follow directly, where a
// hexadecimal escape would swallow it. Texts assembled at compile time (reply tables) write the
// codes that way; code that builds texts uses the names below.
#pragma once

#include <string_view>

#include "text/caller_charset.h"

namespace door::colour {

inline constexpr char kCodeByte = text::kCodeByte;

inline constexpr char kBlue[] = "\1771";
inline constexpr char kGreen[] = "\1772";
inline constexpr char kCyan[] = "\1773";
inline constexpr char kRed[] = "\1774";
inline constexpr char kMagenta[] = "\1775";
inline constexpr char kGrey[] = "\1777";
inline constexpr char kDarkGrey[] = "\1778";
inline constexpr char kLightBlue[] = "\1779";
inline constexpr char kLightGreen[] = "\177A";
inline constexpr char kLightCyan[] = "\177B";
inline constexpr char kLightRed[] = "\177C";
inline constexpr char kLightMagenta[] = "\177D";
inline constexpr char kYellow[] = "\177E";
inline constexpr char kWhite[] = "\177F";

// The three-character mark that opens every status line (light red, white, light red), then a
// blank in grey.
inline constexpr std::string_view kStatusMarker = "\177C\xF9\177F\xED\177C\xF9\1777 ";

}  // namespace door::colour
