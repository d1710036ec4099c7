// Any bytes as IRC text, shown to each kind of caller, and as a caller's keys. Besides not
// crashing: no control byte but the door's own colour sequences, no DEL and no 0xFF reaches a
// caller; a UTF-8 caller gets valid UTF-8 without C1 controls, a 7-bit one only ASCII; names are
// free of controls; keys come out as valid UTF-8; the straight conversion of IRC text gives the same
// bytes as the one through shown text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/caller_charset.h"
#include "text/caller_writer.h"
#include "text/irc_text.h"
#include "text/utf8.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void CheckValidUtf8(std::string_view text, const char* what) {
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const size_t length = text::DecodeUtf8(text, i, cp);
    if (length == 0) Fail(what);
    if (cp >= 0x80 && cp < 0xA0) Fail("C1 control as UTF-8");
    i += length;
  }
}

void CheckCallerBytes(std::string out, text::CallerCharset charset) {
  // The colour sequences the door builds: ESC [ digits and semicolons m.
  std::string left;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] == '\x1b') {
      size_t end = i + 1;
      if (end >= out.size() || out[end] != '[') Fail("ESC not starting a colour sequence");
      ++end;
      while (end < out.size() && ((out[end] >= '0' && out[end] <= '9') || out[end] == ';')) ++end;
      if (end >= out.size() || out[end] != 'm') Fail("ESC not starting a colour sequence");
      i = end;
      continue;
    }
    const auto b = static_cast<uint8_t>(out[i]);
    if (b < 0x20 && b != '\r' && b != '\n') Fail("control byte reaches the caller");
    if (b == 0x7F || b == 0xFF) Fail("DEL or 0xFF reaches the caller");
    if (charset == text::CallerCharset::kAscii && b >= 0x80) Fail("byte above 127 to a 7-bit caller");
    left.push_back(out[i]);
  }
  if (charset == text::CallerCharset::kUtf8) CheckValidUtf8(left, "invalid UTF-8 to a UTF-8 caller");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  const text::IrcTextOptions options{.formatting = (flags & 1) != 0, .keep_unicode = (flags & 2) != 0};

  // IRC text may carry the door's own colour codes around it; everything else is from outside.
  std::string shown;
  text::AppendIrcText(shown, input, options);
  std::string console;
  text::AppendForCaller(console, shown, text::CallerCharset::kCp437);
  for (const auto charset :
       {text::CallerCharset::kCp437, text::CallerCharset::kUtf8, text::CallerCharset::kAscii}) {
    std::string out;
    text::AppendForCaller(out, shown, charset);
    CheckCallerBytes(out, charset);
    // Straight from the IRC text, as the door shows lines: the same bytes for caller and console.
    std::string direct;
    std::string direct_console;
    {
      text::CallerWriter writer(direct, &direct_console, charset);
      text::WriteIrcText(writer, input, options);
    }
    if (direct != out) Fail("straight conversion differs for the caller");
    if (charset != text::CallerCharset::kCp437 && direct_console != console) {
      Fail("straight conversion differs for the console");
    }
  }

  const std::string name = text::IrcName(input);
  for (const char c : name) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x20 || b == 0x7F || b == 0xFF) Fail("control byte in a name");
  }

  for (const auto charset :
       {text::CallerCharset::kCp437, text::CallerCharset::kUtf8, text::CallerCharset::kAscii}) {
    text::KeyDecoder decoder(charset);
    std::string keys;
    for (const char c : input) decoder.Feed(static_cast<uint8_t>(c), keys);
    CheckValidUtf8(keys, "keys are not valid UTF-8");
  }

  if (const auto report = text::FindCursorReport(input)) {
    if (report->begin >= report->end || report->end > input.size()) Fail("cursor report out of range");
  }
  return 0;
}
