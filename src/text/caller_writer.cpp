#include "text/caller_writer.h"

#include <cstring>

#include "platform/cp437.h"
#include "text/byte_scan.h"
#include "text/utf8.h"

namespace text {
using scan::NextCode;
using scan::NextCodeOrHigh;

HighBytesAsUtf8::HighBytesAsUtf8() {
  for (int b = kFirst; b <= 0xFF; ++b) {
    Row& row = rows_[b - kFirst];
    char bytes[4];
    row.length = static_cast<uint8_t>(EncodeUtf8(platform::Cp437ToUnicode(static_cast<uint8_t>(b)), bytes));
    std::memcpy(row.bytes, bytes, sizeof row.bytes);
  }
}

const HighBytesAsUtf8& HighBytesTable() {
  static const HighBytesAsUtf8 table;
  return table;
}

void CallerWriter::LoneCode() {
  if (charset_ == CallerCharset::kUtf8) {
    out_.Append(utf8_.For(0x7F));
  } else {
    out_.Push(charset_ == CallerCharset::kAscii ? '^' : kCodeByte);
  }
  if (console_) console_->Push(kCodeByte);
}

void CallerWriter::Shown(std::string_view shown) {
  size_t run = 0;          // start of the bytes not yet appended that pass as they are
  size_t console_run = 0;  // the same for the console, where bytes above 0x7F pass too
  size_t i = 0;
  while (i < shown.size()) {
    // For code page 437 only the code byte needs work.
    i = charset_ == CallerCharset::kCp437 ? NextCode(shown, i) : NextCodeOrHigh(shown, i);
    if (i == shown.size()) break;
    out_.Append(shown.substr(run, i - run));
    const auto b = static_cast<uint8_t>(shown[i]);
    if (b > 0x7F) {
      AppendHighByte(out_, b, charset_);
      run = ++i;
      continue;
    }
    if (console_) console_->Append(shown.substr(console_run, i - console_run));
    const int colour = i + 1 < shown.size() ? HexValue(shown[i + 1]) : -1;
    char32_t cp = 0;
    const size_t length = colour < 0 && i + 1 < shown.size() ? DecodeUtf8(shown, i + 1, cp) : 0;
    if (colour >= 0) {
      Colour(colour);
      i += 2;
    } else if (length > 1) {
      Carried(shown.substr(i + 1, length), ShownFormFor(cp).byte);
      i += 1 + length;
    } else {
      LoneCode();
      ++i;
    }
    run = i;
    console_run = i;
  }
  out_.Append(shown.substr(run));
  if (console_) console_->Append(shown.substr(console_run));
}

}  // namespace text
