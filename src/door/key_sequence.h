// Cursor and function keys as callers' terminals send them: ESC [ parameters final (ESC [ A,
// ESC [ 1 ; 5 C, ESC [ 1 1 ~, and the Linux console's ESC [ [ A) and ESC O x (ESC O P). Such a
// sequence is one key press; an ESC followed by anything else is the Esc key, and the byte after
// it a key of its own.
#pragma once

#include <cstddef>
#include <string_view>

namespace door {

enum class KeySequence {
  kNone,        // not a sequence: a lone Esc key (or no ESC at all)
  kIncomplete,  // a sequence may still follow: wait a little for more bytes
  kComplete,    // `length` bytes are one key
};

struct KeySequenceMatch {
  KeySequence kind = KeySequence::kNone;
  size_t length = 0;
};

// A sequence never grows past this; a longer one ends here.
inline constexpr size_t kMaxKeySequence = 16;

// Looks at bytes that start with ESC. A sequence broken by a byte that cannot be part of it ends
// before that byte, which stays a key of its own.
KeySequenceMatch MatchKeySequence(std::string_view bytes);

}  // namespace door
