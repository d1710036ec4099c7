#include "door/key_sequence.h"

#include <gtest/gtest.h>

#include <string>

namespace door {
namespace {

TEST(KeySequence, CursorAndFunctionKeysOfCommonTerminals) {
  const struct {
    std::string bytes;
    KeySequence kind;
    size_t length;
  } cases[] = {
      {"\x1b[D", KeySequence::kComplete, 3},       // Left
      {"\x1b[Dabc", KeySequence::kComplete, 3},    // typing goes on after it
      {"\x1bOP", KeySequence::kComplete, 3},       // F1 (xterm)
      {"\x1bOH", KeySequence::kComplete, 3},       // Home (application mode)
      {"\x1b[1~", KeySequence::kComplete, 4},      // Home (vt220)
      {"\x1b[11~", KeySequence::kComplete, 5},     // F1 (rxvt, PuTTY)
      {"\x1b[1;5C", KeySequence::kComplete, 6},    // Ctrl-Right
      {"\x1b[[A", KeySequence::kComplete, 4},      // F1 (Linux console)
      {"\x1b[?1;2c", KeySequence::kComplete, 7},   // a terminal's answer
      {"\x1b", KeySequence::kIncomplete, 0},       // Esc, or the start of one
      {"\x1b[", KeySequence::kIncomplete, 0},      // split across reads
      {"\x1b[1;5", KeySequence::kIncomplete, 0},   //
      {"\x1bO", KeySequence::kIncomplete, 0},      //
      {"\x1b[[", KeySequence::kIncomplete, 0},     //
      {"\x1bx", KeySequence::kNone, 0},            // Esc, then x
      {"\x1b\x1b[A", KeySequence::kNone, 0},       // Esc, then Up
      {"\x1b\r", KeySequence::kNone, 0},           // Esc, then Enter
      {"a", KeySequence::kNone, 0},                //
      {"\x1b[1\r", KeySequence::kComplete, 3},     // broken: Enter stays a key
      {"\x1bO\r", KeySequence::kComplete, 2},      //
      {"\x1b[\x1b[A", KeySequence::kComplete, 2},  // broken by the next sequence
      // Longer than a key: the rest, up to its final byte, is dropped as it comes.
      {"\x1b[" + std::string(40, '1') + "~", KeySequence::kLong, kMaxKeySequence},
      {"\x1b[?64;1;2;6;9;15;16;17;18;21;22;28c", KeySequence::kLong, kMaxKeySequence},
      {"\x1b[" + std::string(13, '1') + "\r", KeySequence::kComplete, kMaxKeySequence - 1},
  };
  for (const auto& c : cases) {
    const KeySequenceMatch m = MatchKeySequence(c.bytes);
    EXPECT_EQ(m.kind, c.kind) << c.bytes.substr(1);
    EXPECT_EQ(m.length, c.length) << c.bytes.substr(1);
  }
}

}  // namespace
}  // namespace door
