// The door's in-text colour codes by name: the code byte 0x7F followed by one hex digit, the PC
// colour (0-F) of the text after it, and Joined, which puts names and literals together into one
// text at compile time for reply tables and other fixed texts.
//
// CallerWriter turns each code into an ANSI colour sequence for the caller and the local console.
// In a string literal the byte is written "\177", in octal: an octal escape ends after three
// digits, so the colour digit can follow directly, where a hexadecimal escape would swallow it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace text::colour {

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

// One piece of a joined text: a colour name or a string literal, kept by value so that it can be
// a template argument.
template <size_t N>
struct Piece {
  char bytes[N] = {};
  constexpr Piece(const char (&text)[N]) { std::copy_n(text, N, bytes); }  // NOLINT: implicit
  static constexpr size_t size() { return N - 1; }
};

template <Piece... Pieces>
struct JoinedBytes {
  static constexpr size_t kSize = (Pieces.size() + ... + 0);
  static constexpr std::array<char, kSize + 1> kBytes = [] {
    std::array<char, kSize + 1> out = {};
    [[maybe_unused]] size_t at = 0;  // unused when there are no pieces
    ((std::copy_n(Pieces.bytes, Pieces.size(), out.begin() + at), at += Pieces.size()), ...);
    return out;
  }();
};

// The pieces one after the other, as a text with static storage:
// Joined<kDarkGrey, "[", kWhite, "+tn", kDarkGrey, "]"> is "\1778[\177F+tn\1778]".
template <Piece... Pieces>
inline constexpr std::string_view Joined{JoinedBytes<Pieces...>::kBytes.data(),
                                         JoinedBytes<Pieces...>::kSize};

// The three-character mark that opens every status line (light red, white, light red), then a
// blank in grey.
inline constexpr std::string_view kStatusMarker =
    Joined<kLightRed, "\xF9", kWhite, "\xED", kLightRed, "\xF9", kGrey, " ">;

}  // namespace text::colour
