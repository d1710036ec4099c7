#include "text/caller_charset.h"

#include <cstring>

#include "ansi/sequences.h"
#include "platform/cp437.h"
#include "text/buffered_append.h"
#include "text/characters.h"
#include "text/utf8.h"

namespace text {
namespace {

constexpr char kCodeByte = '\x7F';

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (x != b[i]) return false;
  }
  return true;
}

struct ChoiceName {
  std::string_view name;  // upper case
  CharsetChoice choice;
};

constexpr ChoiceName kChoiceNames[] = {
    {"AUTO", CharsetChoice::kAuto},      {"UTF-8", CharsetChoice::kUtf8},   {"UTF8", CharsetChoice::kUtf8},
    {"CP437", CharsetChoice::kCp437},    {"IBM437", CharsetChoice::kCp437}, {"CP-437", CharsetChoice::kCp437},
    {"US-ASCII", CharsetChoice::kAscii}, {"ASCII", CharsetChoice::kAscii},
};

// The UTF-8 bytes of the code page 437 glyphs of bytes 0x7F-0xFF, built once.
class HighBytesAsUtf8 {
 public:
  static constexpr uint8_t kFirst = 0x7F;

  HighBytesAsUtf8() {
    for (int b = kFirst; b <= 0xFF; ++b) {
      Row& row = rows_[b - kFirst];
      char bytes[4];
      // Code page 437's glyphs are all below U+10000: three bytes at most.
      row.length = static_cast<uint8_t>(EncodeUtf8(platform::Cp437ToUnicode(static_cast<uint8_t>(b)), bytes));
      std::memcpy(row.bytes, bytes, sizeof row.bytes);
    }
  }
  std::string_view For(uint8_t b) const {
    const Row& row = rows_[b - kFirst];
    return {row.bytes, row.length};
  }

 private:
  struct Row {
    char bytes[3];
    uint8_t length;
  };
  Row rows_[0x100 - kFirst] = {};
};

// A code page 437 byte (0x7F-0xFF) in the caller's charset.
void AppendHighByte(BufferedAppend& out, uint8_t b, CallerCharset charset) {
  switch (charset) {
    case CallerCharset::kCp437:
      out.Push(static_cast<char>(b));
      break;
    case CallerCharset::kUtf8: {
      static const HighBytesAsUtf8 table;
      out.Append(table.For(b));
      break;
    }
    case CallerCharset::kAscii:
      out.Push(platform::Cp437AsciiFallback(b));
      break;
  }
}

constexpr uint64_t kOnes = 0x0101010101010101;
constexpr uint64_t kHighBits = 0x8080808080808080;

// The first code byte at or after i, or the end. Codes are often a few bytes apart: the next
// sixteen bytes are looked at here, eight at a time, before memchr takes a longer run.
size_t NextCode(std::string_view text, size_t i) {
  for (int words = 0; words < 2 && text.size() - i >= 8; ++words) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    const uint64_t zero_at_code = word ^ (kOnes * static_cast<uint8_t>(kCodeByte));
    if (((zero_at_code - kOnes) & ~zero_at_code & kHighBits) != 0) {
      while (text[i] != kCodeByte) ++i;
      return i;
    }
    i += 8;
  }
  const void* code = std::memchr(text.data() + i, kCodeByte, text.size() - i);
  return code == nullptr ? text.size() : static_cast<size_t>(static_cast<const char*>(code) - text.data());
}

// The first byte at or after i that is the code byte or above it, or the end.
size_t NextCodeOrHigh(std::string_view text, size_t i) {
  while (text.size() - i >= 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    // Adding one sets the high bit of 0x7F; a carry comes only out of a byte already marked.
    if (((word | (word + kOnes)) & kHighBits) != 0) break;
    i += 8;
  }
  while (i < text.size() && static_cast<uint8_t>(text[i]) < 0x7F) ++i;
  return i;
}

}  // namespace

std::optional<CharsetChoice> ParseCharsetChoice(std::string_view name) {
  while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  for (const ChoiceName& row : kChoiceNames) {
    if (EqualsIgnoreCase(name, row.name)) return row.choice;
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
  for (const char c : shown) {
    const auto b = static_cast<uint8_t>(c);
    if (b == 0x7F || (b > 0x7F && charset != CallerCharset::kCp437)) return false;
  }
  return true;
}

namespace {

// The same bytes as ansi::AnsiForeground(colour), written in place.
void AppendColour(BufferedAppend& out, int colour) {
  char* sequence = out.Extend(7);
  sequence[0] = '\x1b';
  sequence[1] = '[';
  sequence[2] = colour < 8 ? '0' : '1';
  sequence[3] = ';';
  sequence[4] = '3';
  sequence[5] = static_cast<char>('0' + ansi::kColourMap[colour & 7]);
  sequence[6] = 'm';
}

// A character code page 437 lacks, as its stand-in; nothing for one that takes no column.
void AppendStandIn(BufferedAppend& out, char32_t cp, CallerCharset charset) {
  const uint8_t stand_in = ShownFormFor(cp).byte;
  if (stand_in == 0) return;
  if (stand_in < 0x80) {
    out.Push(static_cast<char>(stand_in));
  } else {
    AppendHighByte(out, stand_in, charset);
  }
}

// AppendForCaller's work; given `console`, the code page 437 form goes there in the same pass.
void ConvertShown(std::string_view shown, CallerCharset charset, BufferedAppend& out,
                  BufferedAppend* console) {
  size_t run = 0;          // start of the bytes not yet appended that pass as they are
  size_t console_run = 0;  // the same for the console, where bytes above 0x7F pass too
  size_t i = 0;
  while (i < shown.size()) {
    // For code page 437 only the code byte needs work.
    i = charset == CallerCharset::kCp437 ? NextCode(shown, i) : NextCodeOrHigh(shown, i);
    if (i == shown.size()) break;
    out.Append(shown.substr(run, i - run));
    const auto b = static_cast<uint8_t>(shown[i]);
    if (b > 0x7F) {
      AppendHighByte(out, b, charset);
      run = ++i;
      continue;
    }
    if (console != nullptr) console->Append(shown.substr(console_run, i - console_run));
    const int colour = i + 1 < shown.size() ? HexValue(shown[i + 1]) : -1;
    char32_t cp = 0;
    const size_t length = colour < 0 && i + 1 < shown.size() ? DecodeUtf8(shown, i + 1, cp) : 0;
    if (colour >= 0) {
      AppendColour(out, colour);
      if (console != nullptr) AppendColour(*console, colour);
      i += 2;
    } else if (length > 1) {
      if (charset == CallerCharset::kUtf8) {
        out.Append(shown.substr(i + 1, length));
      } else {
        AppendStandIn(out, cp, charset);
      }
      if (console != nullptr) AppendStandIn(*console, cp, CallerCharset::kCp437);
      i += 1 + length;
    } else {
      // A lone code byte is the PC's house glyph, as it always was.
      if (charset == CallerCharset::kUtf8) {
        AppendHighByte(out, 0x7F, charset);
      } else {
        out.Push(charset == CallerCharset::kAscii ? '^' : kCodeByte);
      }
      if (console != nullptr) console->Push(kCodeByte);
      ++i;
    }
    run = i;
    console_run = i;
  }
  out.Append(shown.substr(run));
  if (console != nullptr) console->Append(shown.substr(console_run));
}

}  // namespace

void AppendForCaller(std::string& caller_out, std::string_view shown, CallerCharset charset) {
  BufferedAppend out(caller_out);
  ConvertShown(shown, charset, out, nullptr);
}

void AppendForCallerAndConsole(std::string& caller_out, std::string& console_out, std::string_view shown,
                               CallerCharset charset) {
  BufferedAppend out(caller_out);
  if (charset == CallerCharset::kCp437) {
    ConvertShown(shown, charset, out, nullptr);
    out.Flush();
    console_out.append(caller_out);
    return;
  }
  BufferedAppend console(console_out);
  ConvertShown(shown, charset, out, &console);
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

void KeyDecoder::Feed(uint8_t byte, std::string& keys) {
  if (charset_ != CallerCharset::kUtf8) {
    if (byte < 0x80) {
      keys.push_back(static_cast<char>(byte));
    } else if (charset_ == CallerCharset::kCp437) {
      // 0xFF, the no-break space, is typed as a plain one.
      AppendUtf8(keys, byte == 0xFF ? U' ' : platform::Cp437ToUnicode(byte));
    }
    return;
  }
  if (have_ > 0) {
    if (IsContinuation(byte)) {
      pending_[have_++] = static_cast<char>(byte);
      if (have_ < need_) return;
      char32_t cp = 0;
      if (DecodeUtf8(std::string_view(pending_, have_), 0, cp) == have_ && !IsControl(cp)) {
        keys.append(pending_, have_);
      }
      have_ = 0;
      return;
    }
    have_ = 0;  // a broken sequence: dropped, and this byte starts afresh
  }
  if (byte < 0x80) {
    keys.push_back(static_cast<char>(byte));
  } else if (byte >= 0xC2 && byte <= 0xF4) {
    pending_[0] = static_cast<char>(byte);
    have_ = 1;
    need_ = byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
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
