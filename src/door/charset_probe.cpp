// Choosing the caller's character set at the start of a visit: as the command line or the INI
// says, or by asking the terminal where the cursor stands after a zero-width character.
#include <span>
#include <string>

#include "door/door.h"

namespace door {
namespace {

// A terminal that answers does so within a round trip; one that stays silent costs this much.
constexpr int kProbeWaitMs = 1500;

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
  if (visit.charset_choice == text::CharsetChoice::kAuto) {
    // Straight to the caller: the probe is never drawn on the local console.
    caller.Queue(text::kCharsetProbe);
    caller.FlushQueue();
    const int64_t start = MonotonicMs();
    for (;;) {
      // Only the answer is taken out of what the caller sends; keys typed around it stay in the
      // link's buffer for the key reader, which decodes them like every later key (and drops a
      // second answer, or one that comes too late, as the terminal report it is).
      caller.Poll();
      std::string& buffer = caller.Buffer();
      if (const auto report = text::FindCursorReport(buffer)) {
        if (report->column < text::kUtf8ColumnBelow) visit.caller_charset = text::CallerCharset::kUtf8;
        buffer.erase(report->begin, report->end - report->begin);
        break;
      }
      const int64_t left = kProbeWaitMs - (MonotonicMs() - start);
      if (left <= 0 || !caller.IsOpen()) break;
      // A full buffer is read no further: the answer, if it is behind, waits in the socket.
      const bool want_read = buffer.size() < kCallerReadLimit;
      platform::WaitFd fd{.fd = caller.Fd(), .want_read = want_read, .want_write = caller.HasQueued()};
      env_.clock.Wait(std::span<platform::WaitFd>(&fd, 1), static_cast<int>(left));
      caller.FlushQueue();
    }
    caller.Queue(text::kProbeCleanUp);
  }
  // Typed UTF-8 on a code page 437 visit is taken as UTF-8: boards that convert the door's output
  // for each caller still pass a UTF-8 caller's typing through unchanged.
  caller_keys_.SetCharset(visit.caller_charset, /*utf8_in_cp437=*/true);
  SetUpOutputQueue();
  pending_keys_.clear();
  pending_key_pos_ = 0;
}

}  // namespace door
