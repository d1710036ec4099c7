// Finding the next byte that needs work in the door's text, eight bytes at a time over the plain
// bytes between: the code byte, bytes above 127, and bytes that are not printable ASCII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "text/caller_charset.h"

namespace text::scan {

inline constexpr uint64_t kOnes = 0x0101010101010101;
inline constexpr uint64_t kHighBits = 0x8080808080808080;

inline uint64_t WordAt(const char* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// True when one of the eight bytes of word is 0.
constexpr bool HasZeroByte(uint64_t word) {
  return ((word - kOnes) & ~word & kHighBits) != 0;
}

// True when one of the eight bytes at p is not printable ASCII: below 0x20, 0x7F, or above.
inline bool HasNonPrintable(const char* p) {
  const uint64_t word = WordAt(p);
  const uint64_t below_blank = (word - kOnes * 0x20) & ~word & kHighBits;
  return (word & kHighBits) != 0 || below_blank != 0 || HasZeroByte(word ^ (kOnes * 0x7F));
}

// The first code byte at or after i, or the end. Codes are often a few bytes apart: the next
// sixteen bytes are looked at here before memchr takes a longer run.
inline size_t NextCode(std::string_view text, size_t i) {
  for (int words = 0; words < 2 && text.size() - i >= 8; ++words) {
    if (HasZeroByte(WordAt(text.data() + i) ^ (kOnes * static_cast<uint8_t>(kCodeByte)))) {
      while (text[i] != kCodeByte) ++i;
      return i;
    }
    i += 8;
  }
  const void* code = std::memchr(text.data() + i, kCodeByte, text.size() - i);
  return code == nullptr ? text.size() : static_cast<size_t>(static_cast<const char*>(code) - text.data());
}

// The first byte at or after i that is the code byte or above it, or the end.
inline size_t NextCodeOrHigh(std::string_view text, size_t i) {
  while (text.size() - i >= 8) {
    const uint64_t word = WordAt(text.data() + i);
    // Adding one sets the high bit of 0x7F; a carry comes only out of a byte already marked.
    if (((word | (word + kOnes)) & kHighBits) != 0) break;
    i += 8;
  }
  while (i < text.size() && static_cast<uint8_t>(text[i]) < 0x7F) ++i;
  return i;
}

}  // namespace text::scan
