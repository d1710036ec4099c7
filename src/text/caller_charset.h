// The caller's character set for a visit and the two edges where it matters: the door's shown text
// turned into the caller's bytes, and the caller's key bytes turned into UTF-8 keys. Also the
// start-up probe that tells a UTF-8 terminal from a code page 437 one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace text {

enum class CallerCharset : uint8_t {
  kCp437,  // BBS terminals: PC glyphs, one byte a character
  kUtf8,   // terminals of Linux and macOS, telnet and ssh clients
  kAscii,  // 7-bit terminals: PC glyphs become plain stand-ins
};

// What the sysop or the BBS chose: one charset, or a probe at start-up.
enum class CharsetChoice : uint8_t { kAuto, kCp437, kUtf8, kAscii };

// "UTF-8", "CP437", "US-ASCII", "auto" and their usual spellings, any case; nullopt for others.
std::optional<CharsetChoice> ParseCharsetChoice(std::string_view name);
std::string_view CharsetName(CallerCharset charset);

// The byte that starts an in-text code of the door's shown text.
inline constexpr char kCodeByte = '\x7F';

// The door's shown text is code page 437 bytes with in-text codes after byte 0x7F: a hex digit is
// a colour; a UTF-8 sequence is a character code page 437 lacks. AppendForCaller appends the bytes
// a terminal of `charset` gets for it: colours as ANSI sequences, each character in the charset
// (a lacking one as its code page 437 stand-in, or left out when it takes no column), every other
// byte as it is. The local console is given the kCp437 form.
void AppendForCaller(std::string& out, std::string_view shown, CallerCharset charset);
// True when AppendForCaller would return the text unchanged (no code bytes, nothing to re-encode).
bool PassesUnchanged(std::string_view shown, CallerCharset charset);

// A character in the door's shown text: its code page 437 byte, or the 0x7F code carrying it.
void AppendShownChar(std::string& out, char32_t cp);
// UTF-8 text (typed by a caller, so free of controls) as shown text.
void AppendShownUtf8(std::string& out, std::string_view utf8);

// The caller's key bytes as UTF-8, a byte at a time: code page 437 bytes above 127 become their
// characters, UTF-8 sequences pass whole once complete and valid; what is not a character (a broken
// sequence, a C1 control, a byte above 127 from a 7-bit terminal) is dropped.
//
// Typed UTF-8 on a code page 437 visit (utf8_in_cp437): some boards convert what the door sends to
// each caller's charset but pass typed bytes through unchanged, so a UTF-8 caller's letters arrive
// as UTF-8. Bytes that form a valid character of two to four bytes are then taken as UTF-8, every
// other byte as code page 437. A byte that may start such a character waits for the next one;
// WaitsForRest says so, and Flush takes what waits as code page 437 when no more comes.
class KeyDecoder {
 public:
  explicit KeyDecoder(CallerCharset charset = CallerCharset::kCp437) : charset_(charset) {}
  void SetCharset(CallerCharset charset, bool utf8_in_cp437 = false) {
    charset_ = charset;
    utf8_in_cp437_ = utf8_in_cp437 && charset == CallerCharset::kCp437;
    have_ = 0;
  }
  CallerCharset charset() const { return charset_; }
  // Appends the UTF-8 bytes of whatever character this byte completes.
  void Feed(uint8_t byte, std::string& keys);
  bool WaitsForRest() const { return utf8_in_cp437_ && have_ > 0; }
  void Flush(std::string& keys);

 private:
  void FeedCp437(uint8_t byte, std::string& keys);
  // The bytes gathered are no UTF-8 character.
  void Abandon(std::string& keys);

  CallerCharset charset_;
  bool utf8_in_cp437_ = false;
  char pending_[4] = {};
  size_t have_ = 0;
  size_t need_ = 0;
};

// The probe: CR, a zero-width no-break space as UTF-8 (EF BB BF) and a cursor position request. A
// UTF-8 terminal shows the three bytes as one character of no width and reports column 1; a code
// page 437 terminal shows three glyphs and reports column 4.
inline constexpr std::string_view kCharsetProbe = "\r\xEF\xBB\xBF\x1B[6n";
// Sent after the answer: back to column 1, the line cleared, so none of the probe stays visible.
inline constexpr std::string_view kProbeCleanUp = "\r\x1B[K";
// The column below which the answer means UTF-8.
inline constexpr int kUtf8ColumnBelow = 3;

// A cursor position report (ESC [ row ; column R) somewhere in bytes read from the caller.
struct CursorReport {
  size_t begin = 0;  // where its ESC is
  size_t end = 0;    // one past its R
  int row = 0;
  int column = 0;
};
std::optional<CursorReport> FindCursorReport(std::string_view bytes);

}  // namespace text
