// Cursor and function keys as callers' terminals send them: ESC [ parameters final (ESC [ A,
// ESC [ 1 ; 5 C, ESC [ 1 1 ~, and the Linux console's ESC [ [ A) and ESC O x (ESC O P). Such a
// sequence is one key press; an ESC followed by anything else is the Esc key, and the byte after
// it a key of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/key_timing.h"

namespace net {
class TcpLink;
}
namespace platform {
class Clock;
}

namespace door {

enum class KeySequence {
  kNone,        // not a sequence: a lone Esc key (or no ESC at all)
  kIncomplete,  // a sequence may still follow: wait a little for more bytes
  kComplete,    // `length` bytes are one key
  kLong,        // `length` bytes begin one key that runs on past kMaxKeySequence bytes
};

struct KeySequenceMatch {
  KeySequence kind = KeySequence::kNone;
  size_t length = 0;
};

// A sequence is looked at up to this length. A longer one (a terminal's report with many
// parameters) is dropped as it comes, up to its final byte, but no further than kMaxLongSequence
// bytes: past that its bytes are keys again.
inline constexpr size_t kMaxKeySequence = 16;
inline constexpr size_t kMaxLongSequence = 256;

// Looks at bytes that start with ESC. A sequence broken by a byte that cannot be part of it ends
// before that byte, which stays a key of its own.
KeySequenceMatch MatchKeySequence(std::string_view bytes);

// How long an ESC waits for the byte that would make it the start of a sequence; the rest of a
// sequence that has begun may take a little longer. A terminal sends a key's sequence in one
// write, so only a slow link splits it.
inline constexpr int kEscWaitMs = platform::kEscWaitMs;
inline constexpr int kSequenceWaitMs = 1000;

// Waits up to ms for the caller's buffer to hold more than `have` bytes; true when it does. Once
// the program is ending it no longer blocks: it takes what is there.
bool WaitForCallerBytes(net::TcpLink& caller, platform::Clock& clock, size_t have, int ms);

// Called when an ESC has just been read from the caller. True when it began a sequence, which has
// then been read into sequence, ESC first (an unfinished one too, once its bytes stop coming);
// false when it is the Esc key, with the byte after it left unread.
bool ReadKeySequence(net::TcpLink& caller, platform::Clock& clock, std::string& sequence);
// The same, dropping the sequence.
bool SkipKeySequence(net::TcpLink& caller, platform::Clock& clock);

}  // namespace door
