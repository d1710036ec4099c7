// Choosing the caller's character set at the start of a visit: as the command line or the INI
// says, or by asking the terminal where the cursor stands after a zero-width character.
#include <algorithm>

#include "door/door.h"
#include "door/text_helpers.h"

namespace door {
namespace {

// A terminal that answers does so within a round trip; one that stays silent costs this much.
constexpr int kProbeWaitMs = 1500;
// Bytes kept while waiting: the answer is short, and a caller typing meanwhile is cut off here.
constexpr size_t kProbeReadLimit = 256;

text::CallerCharset CharsetOf(text::CharsetChoice choice) {
  switch (choice) {
    case text::CharsetChoice::kUtf8:
      return text::CallerCharset::kUtf8;
    case text::CharsetChoice::kAscii:
      return text::CallerCharset::kAscii;
    default:
      return text::CallerCharset::kCp437;
  }
}

}  // namespace

void Door::ChooseCallerCharset() {
  visit.caller_charset = CharsetOf(visit.charset_choice);
  std::string answer;
  if (visit.charset_choice == text::CharsetChoice::kAuto) {
    // Straight to the caller: the probe is never drawn on the local console.
    caller.Queue(text::kCharsetProbe);
    caller.FlushQueue();
    const int64_t start = MonotonicMs();
    for (;;) {
      while (answer.size() < kProbeReadLimit && caller.DataWaiting()) answer.push_back(caller.ReadChar());
      if (const auto report = text::FindCursorReport(answer)) {
        if (report->column < text::kUtf8ColumnBelow) visit.caller_charset = text::CallerCharset::kUtf8;
        answer.erase(report->begin, report->end - report->begin);
        break;
      }
      const int64_t left = kProbeWaitMs - (MonotonicMs() - start);
      if (left <= 0 || answer.size() >= kProbeReadLimit || !caller.IsOpen()) break;
      platform::WaitFd fd{.fd = caller.Fd(), .want_read = true, .want_write = caller.HasQueued()};
      env_.clock.Wait(std::span<platform::WaitFd>(&fd, 1), static_cast<int>(left));
      caller.FlushQueue();
    }
    caller.Queue(text::kProbeCleanUp);
  }
  // Typed UTF-8 on a code page 437 visit is taken as UTF-8: boards that convert the door's output
  // for each caller still pass a UTF-8 caller's typing through unchanged.
  caller_keys_.SetCharset(visit.caller_charset, /*utf8_in_cp437=*/true);
  SetUpOutputQueue();
  // What the caller typed around the answer is kept as keys.
  pending_keys_.clear();
  pending_key_pos_ = 0;
  for (const char c : answer) caller_keys_.Feed(static_cast<uint8_t>(c), pending_keys_);
  pending_key_source_ = KeySource::kCaller;
}

}  // namespace door
