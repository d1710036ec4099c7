#include "door/key_sequence.h"

#include <algorithm>
#include <span>
#include <string>

#include "door/key_table.h"
#include "net/tcp_link.h"
#include "platform/clock.h"

namespace door {
namespace {

bool IsFinal(char c) {
  return c >= 0x40 && c <= 0x7E;
}
bool IsParameterOrIntermediate(char c) {
  return c >= 0x20 && c <= 0x3F;
}

KeySequenceMatch Complete(size_t length) {
  return {KeySequence::kComplete, length};
}
constexpr KeySequenceMatch kIncomplete{KeySequence::kIncomplete, 0};

}  // namespace

// Waits up to ms for the caller's buffer to hold more than `have` bytes. Once the program is
// ending the waits no longer block: it takes what is there.
bool WaitForCallerBytes(net::TcpLink& caller, platform::Clock& clock, size_t have, int ms) {
  const int64_t start = clock.MonotonicMs();
  for (;;) {
    caller.Poll();
    if (caller.Buffer().size() > have) return true;
    const int64_t left = ms - (clock.MonotonicMs() - start);
    if (left <= 0 || !caller.IsOpen() || clock.TerminationRequested()) return false;
    platform::WaitFd fd{.fd = caller.Fd()};
    clock.Wait(std::span<platform::WaitFd>(&fd, 1), static_cast<int>(left));
  }
}

namespace {

// Drops the rest of a sequence longer than the part already taken (`taken` bytes), as it comes:
// its parameters up to and including its final byte. A byte that cannot belong to it stays.
void SkipRestOfLongSequence(net::TcpLink& caller, platform::Clock& clock, size_t taken) {
  for (; taken < kMaxLongSequence; ++taken) {
    if (caller.Buffer().empty() && !WaitForCallerBytes(caller, clock, 0, kSequenceWaitMs)) return;
    const char c = caller.Buffer().front();
    if (!IsParameterOrIntermediate(c) && !IsFinal(c)) return;
    caller.ReadChar();
    if (IsFinal(c)) return;
  }
}

}  // namespace

KeySequenceMatch MatchKeySequence(std::string_view bytes) {
  if (bytes.empty() || bytes[0] != kEsc) return {};
  if (bytes.size() == 1) return kIncomplete;
  if (bytes[1] == 'O') {  // ESC O x: one final byte
    if (bytes.size() == 2) return kIncomplete;
    return Complete(IsFinal(bytes[2]) ? 3 : 2);
  }
  if (bytes[1] != '[') return {};
  if (bytes.size() >= 3 && bytes[2] == '[') {  // the Linux console's function keys: ESC [ [ A
    if (bytes.size() == 3) return kIncomplete;
    return Complete(IsFinal(bytes[3]) ? 4 : 3);
  }
  for (size_t i = 2; i < bytes.size(); ++i) {
    if (IsFinal(bytes[i])) return Complete(i + 1);
    if (!IsParameterOrIntermediate(bytes[i])) return Complete(i);
    if (i + 1 >= kMaxKeySequence) return {KeySequence::kLong, i + 1};
  }
  return kIncomplete;
}

bool SkipKeySequence(net::TcpLink& caller, platform::Clock& clock) {
  std::string sequence;
  return ReadKeySequence(caller, clock, sequence);
}

bool ReadKeySequence(net::TcpLink& caller, platform::Clock& clock, std::string& sequence) {
  for (;;) {
    const std::string& buffer = caller.Buffer();
    // The bytes after the ESC are looked at where they wait, and taken only for a sequence.
    const size_t shown = std::min(buffer.size(), kMaxKeySequence - 1);
    sequence.assign(1, kEsc);
    sequence.append(buffer, 0, shown);
    const KeySequenceMatch match = MatchKeySequence(sequence);
    size_t take = 0;
    if (match.kind == KeySequence::kNone) return false;
    if (match.kind == KeySequence::kComplete || match.kind == KeySequence::kLong) {
      take = match.length - 1;
    } else if (!WaitForCallerBytes(caller, clock, shown, shown == 0 ? kEscWaitMs : kSequenceWaitMs)) {
      if (shown == 0) return false;  // nothing followed: the Esc key
      take = shown;                  // a sequence that stopped coming
    } else {
      continue;
    }
    sequence.resize(1 + take);
    for (size_t i = 0; i < take; ++i) caller.ReadChar();
    if (match.kind == KeySequence::kLong) SkipRestOfLongSequence(caller, clock, match.length);
    return true;
  }
}

}  // namespace door
