#include <algorithm>

#include "ansi/local_ansi.h"
#include "ansi/sequences.h"
#include "door/door.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/signals.h"
#include "text/caller_charset.h"
#include "text/caller_writer.h"
#include "text/colour_codes.h"

namespace door {
namespace {

constexpr size_t kMaxCellText = 256;
// Inside an output batch the caller's queue is written each time this much more has been queued.
constexpr size_t kFlushStep = 64 * 1024;
// Stands in the caller's output where older output had to be dropped, styled like a status line.
constexpr std::string_view kSkipNoticeText = "Output skipped: ";
constexpr std::string_view kSkipNoticeSuffix = " bytes (your connection is too slow)\r\n";

}  // namespace

std::string ConvertColourCodes(std::string_view text) {
  std::string out;
  text::AppendForCaller(out, text, text::CallerCharset::kCp437);
  return out;
}

text::CallerCharset Door::OutputCharset() const {
  // Local mode converts for the console alone: code page 437, as for such a caller.
  return !visit.HasCaller() ? text::CallerCharset::kCp437 : visit.caller_charset;
}

template <typename Write>
void Door::WriteConverted(const Write& write) {
  const text::CallerCharset charset = OutputCharset();
  const bool cp437 = charset == text::CallerCharset::kCp437;
  output_.converted.clear();
  output_.caller_converted.clear();
  {
    // For code page 437 the caller's bytes are the console's; otherwise both forms in one pass.
    text::CallerWriter writer(cp437 ? output_.converted : output_.caller_converted,
                              cp437 ? nullptr : &output_.converted, charset);
    write(writer);
  }
  env_.local_ansi.LocalAnsiWrite(output_.converted);
  if (!visit.HasCaller()) return;
  QueueForCaller(cp437 ? output_.converted : output_.caller_converted);
}

void Door::DoorWrite(std::string_view text) {
  // The local console always gets code page 437; the caller gets its own charset.
  if (!text::PassesUnchanged(text, OutputCharset())) {
    WriteConverted([text](text::CallerWriter& writer) { writer.Shown(text); });
    return;
  }
  env_.local_ansi.LocalAnsiWrite(text);
  if (!visit.HasCaller()) return;
  QueueForCaller(text);
}

void Door::DoorWriteWith(const std::function<void(text::CallerWriter&)>& write) {
  WriteConverted(write);
}

void Door::QueueForCaller(std::string_view bytes) {
  caller.Queue(bytes);
  // Inside a batch the queue is still written now and then, so a long batch neither holds much
  // memory nor keeps a fast caller waiting.
  if (output_.batch_depth == 0 || caller.QueuedBytes() >= output_.queued_after_flush + kFlushStep)
    FlushOutput();
}

void Door::BeginOutputBatch() {
  ++output_.batch_depth;
}

void Door::EndOutputBatch() {
  if (output_.batch_depth > 0 && --output_.batch_depth == 0) FlushOutput();
}

void Door::FlushOutput() {
  if (visit.HasCaller() && caller.HasQueued()) caller.FlushQueue();
  output_.queued_after_flush = caller.QueuedBytes();
}

int Door::DrainOutput(int max_ms) {
  FlushOutput();
  const int64_t start = MonotonicMs();
  int spent = 0;
  while (visit.HasCaller() && caller.HasQueued() && spent < max_ms) {
    platform::WaitFd fd{.fd = caller.WriteFd(), .want_read = false, .want_write = true};
    const int ready = env_.clock.Wait(std::span<platform::WaitFd>(&fd, 1), max_ms - spent);
    // After a termination signal the wait no longer blocks; a short sleep keeps this from spinning.
    if (ready == 0 && env_.clock.TerminationRequested()) env_.clock.Sleep(std::min(10, max_ms - spent));
    FlushOutput();
    spent = static_cast<int>(std::min<int64_t>(MonotonicMs() - start, max_ms));
  }
  return spent;
}

void Door::SetUpOutputQueue() {
  const std::string prefix = std::string(text::colour::kGrey) + std::string(text::colour::kStatusMarker) +
                             std::string(kSkipNoticeText);
  std::string shown;
  text::AppendForCaller(shown, prefix, visit.caller_charset);
  caller.output_queue().SetSkipNotice(shown, kSkipNoticeSuffix);
}

void Door::DoorWriteLn(std::string_view text) {
  std::string line;
  line.reserve(text.size() + 2);
  line.append(text);
  line.append("\r\n");
  DoorWrite(line);
}

void Door::DoorNewLine() {
  DoorWrite("\r\n");
}

void Door::DoorClearScreen() {
  DoorWrite(ansi::AnsiClearScreen());
}

void Door::DoorSetForeground(int colour) {
  DoorWrite(ansi::AnsiForeground(colour));
}

void Door::DoorSetBackground(int colour) {
  DoorWrite(ansi::AnsiBackground(colour));
}

void Door::DoorSetAttr(uint8_t attr) {
  DoorWrite(ansi::AnsiAttr(attr));
}

void Door::DoorCursorToColumn(int column) {
  const std::string move = ansi::AnsiCursorToColumn(env_.console, column);
  if (!move.empty()) DoorWrite(move);
}

void Door::PutStringAt(std::string_view text, int column, int row, uint8_t attr) {
  env_.console.WriteCells(column, row, text.substr(0, std::min(text.size(), kMaxCellText)), attr);
}

}  // namespace door
