#include "text/caller_charset.h"

#include "platform/cp437.h"
#include "text/ascii.h"
#include "text/byte_scan.h"
#include "text/caller_writer.h"
#include "text/characters.h"
#include "text/utf8.h"

namespace text {
namespace {

struct ChoiceName {
  std::string_view name;  // upper case
  CharsetChoice choice;
};

constexpr ChoiceName kChoiceNames[] = {
    {"AUTO", CharsetChoice::kAuto},      {"UTF-8", CharsetChoice::kUtf8},   {"UTF8", CharsetChoice::kUtf8},
    {"CP437", CharsetChoice::kCp437},    {"IBM437", CharsetChoice::kCp437}, {"CP-437", CharsetChoice::kCp437},
    {"US-ASCII", CharsetChoice::kAscii}, {"ASCII", CharsetChoice::kAscii},
};

}  // namespace

std::optional<CharsetChoice> ParseCharsetChoice(std::string_view name) {
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  for (const ChoiceName& row : kChoiceNames) {
    if (text::EqualsIgnoreCase(name, row.name)) return row.choice;
  }
  return std::nullopt;
}

std::string_view CharsetName(CallerCharset charset) {
  switch (charset) {
    case CallerCharset::kUtf8:
      return "UTF-8";
    case CallerCharset::kAscii:
      return "US-ASCII";
    case CallerCharset::kCp437:
      break;
  }
  return "CP437";
}

bool PassesUnchanged(std::string_view shown, CallerCharset charset) {
  const size_t first =
      charset == CallerCharset::kCp437 ? scan::NextCode(shown, 0) : scan::NextCodeOrHigh(shown, 0);
  return first == shown.size();
}

void AppendForCaller(std::string& caller_out, std::string_view shown, CallerCharset charset) {
  CallerWriter(caller_out, nullptr, charset).Shown(shown);
}

void AppendShownChar(std::string& out, char32_t cp) {
  const int b = Cp437ByteFor(cp);
  if (b >= 0) {
    out.push_back(static_cast<char>(b));
  } else {
    out.push_back(kCodeByte);
    AppendUtf8(out, cp);
  }
}

void AppendShownUtf8(std::string& out, std::string_view utf8) {
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const size_t length = DecodeUtf8(utf8, i, cp);
    if (length == 0) {  // not expected from the key stream; shown as the byte's glyph
      out.push_back(utf8[i++]);
      continue;
    }
    AppendShownChar(out, cp);
    i += length;
  }
}

void KeyDecoder::FeedCp437(uint8_t byte, std::string& keys) {
  if (byte < 0x80) {
    keys.push_back(static_cast<char>(byte));
  } else {
    // 0xFF, the no-break space, is typed as a plain one.
    AppendUtf8(keys, byte == 0xFF ? U' ' : platform::Cp437ToUnicode(byte));
  }
}

void KeyDecoder::Flush(std::string& keys) {
  if (!WaitsForRest()) return;
  for (size_t i = 0; i < have_; ++i) FeedCp437(static_cast<uint8_t>(pending_[i]), keys);
  have_ = 0;
}

void KeyDecoder::Abandon(std::string& keys) {
  if (utf8_in_cp437_) {
    Flush(keys);  // no UTF-8 after all: those bytes were code page 437
  } else {
    have_ = 0;  // a broken sequence from a UTF-8 caller: dropped
  }
}

void KeyDecoder::Feed(uint8_t byte, std::string& keys) {
  if (charset_ != CallerCharset::kUtf8 && !utf8_in_cp437_) {
    if (byte < 0x80 || charset_ == CallerCharset::kCp437) FeedCp437(byte, keys);
    return;
  }
  if (have_ > 0) {
    if (IsContinuation(byte)) {
      pending_[have_++] = static_cast<char>(byte);
      if (have_ < need_) return;
      char32_t cp = 0;
      if (DecodeUtf8(std::string_view(pending_, have_), 0, cp) == have_ && !IsControl(cp)) {
        keys.append(pending_, have_);
        have_ = 0;
      } else {
        Abandon(keys);
      }
      return;
    }
    Abandon(keys);  // and this byte starts afresh
  }
  if (byte >= 0xC2 && byte <= 0xF4) {
    pending_[0] = static_cast<char>(byte);
    have_ = 1;
    need_ = byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
  } else if (utf8_in_cp437_) {
    FeedCp437(byte, keys);
  } else if (byte < 0x80) {
    keys.push_back(static_cast<char>(byte));
  }
}

std::optional<CursorReport> FindCursorReport(std::string_view bytes) {
  for (size_t esc = bytes.find('\x1b'); esc != std::string_view::npos; esc = bytes.find('\x1b', esc + 1)) {
    if (esc + 1 >= bytes.size() || bytes[esc + 1] != '[') continue;
    int numbers[2] = {0, 0};
    int field = 0;
    bool digits = false;
    size_t i = esc + 2;
    for (; i < bytes.size(); ++i) {
      const char c = bytes[i];
      if (c >= '0' && c <= '9') {
        if (numbers[field] < 10'000) numbers[field] = numbers[field] * 10 + (c - '0');
        digits = true;
      } else if (c == ';' && field == 0 && digits) {
        field = 1;
        digits = false;
      } else {
        break;
      }
    }
    if (i < bytes.size() && bytes[i] == 'R' && field == 1 && digits) {
      return CursorReport{.begin = esc, .end = i + 1, .row = numbers[0], .column = numbers[1]};
    }
  }
  return std::nullopt;
}

}  // namespace text
