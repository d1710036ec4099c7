#include "door/key_sequence.h"

namespace door {
namespace {

constexpr char kEsc = 27;

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
    if (i + 1 >= kMaxKeySequence) return Complete(kMaxKeySequence);
    if (IsFinal(bytes[i])) return Complete(i + 1);
    if (!IsParameterOrIntermediate(bytes[i])) return Complete(i);
  }
  return kIncomplete;
}

}  // namespace door
