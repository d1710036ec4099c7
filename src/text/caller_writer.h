// The caller's bytes for the door's shown text, written piece by piece: ASCII, characters as code
// page 437 bytes, colours, characters code page 437 lacks. For a caller that is not code page 437
// the local console's form (code page 437 bytes, colours as ANSI) can be written in the same pass.
// Shown text goes through Shown(); IRC text comes here straight from its decoder (WriteIrcText),
// without the shown text between.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ansi/sequences.h"
#include "platform/cp437.h"
#include "text/buffered_append.h"
#include "text/caller_charset.h"
#include "text/characters.h"

namespace text {

// The UTF-8 bytes of the code page 437 glyphs of bytes 0x7F-0xFF, built once.
class HighBytesAsUtf8 {
 public:
  static constexpr uint8_t kFirst = 0x7F;
  HighBytesAsUtf8();
  std::string_view For(uint8_t b) const {
    const Row& row = rows_[b - kFirst];
    return {row.bytes, row.length};
  }

 private:
  struct Row {
    char bytes[3];  // code page 437's glyphs are all below U+10000
    uint8_t length;
  };
  Row rows_[0x100 - kFirst] = {};
};
const HighBytesAsUtf8& HighBytesTable();

class CallerWriter {
 public:
  // With console null only the caller's form is written (for kCp437 it is the console's too).
  CallerWriter(std::string& caller, std::string* console, CallerCharset charset)
      : out_(caller), charset_(charset), utf8_(HighBytesTable()) {
    if (console != nullptr) console_.emplace(*console);
  }

  // Bytes below 0x7F (printable ASCII, and the door's own control sequences) pass as they are.
  void Ascii(std::string_view run) {
    out_.Append(run);
    if (console_) console_->Append(run);
  }
  // A character as its code page 437 byte (a printable one: never a control byte or 0x7F).
  void Byte(uint8_t b) {
    AppendCp437Byte(out_, b, charset_);
    if (console_) console_->Push(static_cast<char>(b));
  }
  // A colour code: the PC colour 0-15 as ansi::AnsiForeground writes it.
  void Colour(int colour) {
    AppendColour(out_, colour);
    if (console_) AppendColour(*console_, colour);
  }
  // The door's own colour code met in IRC text: a colour like any other here.
  void DoorColour(std::string_view, int colour) { Colour(colour); }
  // A character code page 437 lacks: its UTF-8 bytes, shown by a UTF-8 caller, and its stand-in
  // (ShownFormFor(cp).byte; 0 when it takes no column), shown by the others and the console.
  void Carried(std::string_view utf8, uint8_t stand_in) {
    if (charset_ != CallerCharset::kUtf8) {
      if (stand_in != 0) Byte(stand_in);
      return;
    }
    out_.Append(utf8);
    if (console_ && stand_in != 0) console_->Push(static_cast<char>(stand_in));
  }
  // A code byte that is neither: the PC's house glyph, as it always was.
  void LoneCode();
  // Shown text (code page 437 bytes with in-text codes, see caller_charset.h).
  void Shown(std::string_view shown);

 private:
  void AppendHighByte(BufferedAppend& out, uint8_t b, CallerCharset charset) const {
    if (charset == CallerCharset::kUtf8) {
      out.Append(utf8_.For(b));
    } else {
      out.Push(charset == CallerCharset::kCp437 ? static_cast<char>(b) : platform::Cp437AsciiFallback(b));
    }
  }
  void AppendCp437Byte(BufferedAppend& out, uint8_t b, CallerCharset charset) const {
    if (b < 0x80) {
      out.Push(static_cast<char>(b));
    } else {
      AppendHighByte(out, b, charset);
    }
  }
  static void AppendColour(BufferedAppend& out, int colour) {
    // Written in place: a copy from a small array just built would wait on its stores.
    char* sequence = out.Extend(7);
    sequence[0] = '\x1b';
    sequence[1] = '[';
    sequence[2] = colour < 8 ? '0' : '1';
    sequence[3] = ';';
    sequence[4] = '3';
    sequence[5] = static_cast<char>('0' + ansi::kColourMap[colour & 7]);
    sequence[6] = 'm';
  }

  BufferedAppend out_;
  std::optional<BufferedAppend> console_;
  CallerCharset charset_;
  const HighBytesAsUtf8& utf8_;
};

}  // namespace text
