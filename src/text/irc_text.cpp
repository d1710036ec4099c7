#include "text/irc_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>

#include "ansi/sequences.h"
#include "text/buffered_append.h"
#include "text/byte_scan.h"
#include "text/caller_charset.h"
#include "text/caller_writer.h"
#include "text/characters.h"
#include "text/utf8.h"

namespace text {
namespace {

constexpr char kBold = 0x02;
constexpr char kColour = 0x03;
constexpr char kHexColour = 0x04;
constexpr char kReset = 0x0F;
constexpr char kMonospace = 0x11;
constexpr char kReverse = 0x16;
constexpr char kItalic = 0x1D;
constexpr char kStrikethrough = 0x1E;
constexpr char kUnderline = 0x1F;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// IRC colours 0-15 as PC colours: white is bright white, red bright red, brown the PC's red ...
constexpr int kIrcToPc[16] = {15, 0, 1, 2, 12, 4, 5, 6, 14, 10, 3, 11, 9, 13, 8, 7};

// The RGB values of IRC colours 16-98.
constexpr uint32_t kIrcExtendedRgb[83] = {
    0x470000, 0x472100, 0x474700, 0x324700, 0x004700, 0x00472C, 0x004747, 0x002747, 0x000047, 0x2E0047,
    0x470047, 0x47002A, 0x740000, 0x743A00, 0x747400, 0x517400, 0x007400, 0x007449, 0x007474, 0x004074,
    0x000074, 0x4B0074, 0x740074, 0x740045, 0xB50000, 0xB56300, 0xB5B500, 0x7DB500, 0x00B500, 0x00B571,
    0x00B5B5, 0x0063B5, 0x0000B5, 0x7500B5, 0xB500B5, 0xB5006B, 0xFF0000, 0xFF8C00, 0xFFFF00, 0xB2FF00,
    0x00FF00, 0x00FFA0, 0x00FFFF, 0x008CFF, 0x0000FF, 0xA500FF, 0xFF00FF, 0xFF0098, 0xFF5959, 0xFFB459,
    0xFFFF71, 0xCFFF60, 0x6FFF6F, 0x65FFC9, 0x6DFFFF, 0x59B4FF, 0x5959FF, 0xC459FF, 0xFF66FF, 0xFF59BC,
    0xFF9C9C, 0xFFD39C, 0xFFFF9C, 0xE2FF9C, 0x9CFF9C, 0x9CFFDB, 0x9CFFFF, 0x9CD3FF, 0x9C9CFF, 0xDC9CFF,
    0xFF9CFF, 0xFF94D3, 0x000000, 0x131313, 0x282828, 0x363636, 0x4D4D4D, 0x656565, 0x818181, 0x9F9F9F,
    0xBCBCBC, 0xE2E2E2, 0xFFFFFF,
};

// The PC's 16 colours as a VGA shows them.
constexpr uint32_t kPcRgb[16] = {0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA,
                                 0xAA5500, 0xAAAAAA, 0x555555, 0x5555FF, 0x55FF55, 0x55FFFF,
                                 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

[[gnu::always_inline]] inline bool IsDigit(std::string_view text, size_t i) {
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

// Up to two digits at i; advances i past them. -2 when there is no digit.
[[gnu::always_inline]] inline int ReadColourNumber(std::string_view text, size_t& i) {
  if (!IsDigit(text, i)) return -2;
  int value = text[i++] - '0';
  if (IsDigit(text, i)) value = value * 10 + (text[i++] - '0');
  return value;
}

// Six hex digits at i as an RGB value; advances i past them. -1 when they are not there.
int64_t ReadHexColour(std::string_view text, size_t& i) {
  if (text.size() - i < 6) return -1;
  uint32_t rgb = 0;
  for (size_t k = 0; k < 6; ++k) {
    const int digit = HexValue(text[i + k]);
    if (digit < 0) return -1;
    rgb = rgb << 4 | static_cast<uint32_t>(digit);
  }
  i += 6;
  return rgb;
}

constexpr int NearestColour(uint32_t rgb) {
  int best = 0;
  int64_t best_distance = std::numeric_limits<int64_t>::max();
  for (int c = 0; c < 16; ++c) {
    const auto channel = [](uint32_t value, int shift) {
      return static_cast<int64_t>((value >> shift) & 0xFF);
    };
    int64_t distance = 0;
    for (int shift : {16, 8, 0}) {
      const int64_t d = channel(rgb, shift) - channel(kPcRgb[c], shift);
      distance += d * d;
    }
    if (distance < best_distance) {
      best_distance = distance;
      best = c;
    }
  }
  return best;
}

// The PC colour of each IRC colour 0-98, the extended ones the nearest of sixteen.
constexpr std::array<int8_t, 99> kIrcColourToPc = [] {
  std::array<int8_t, 99> built{};
  for (size_t i = 0; i < 16; ++i) built[i] = static_cast<int8_t>(kIrcToPc[i]);
  for (size_t i = 16; i < built.size(); ++i)
    built[i] = static_cast<int8_t>(NearestColour(kIrcExtendedRgb[i - 16]));
  return built;
}();

bool IsPrintableAscii(char c) {
  return static_cast<uint8_t>(c) - 0x20u < 0x5Fu;
}

// ESC [ 4 X m for each PC colour 0-7, X its ANSI number.
constexpr auto kBackgroundSequences = [] {
  std::array<std::array<char, 5>, 8> sequences{};
  for (size_t colour = 0; colour < sequences.size(); ++colour) {
    sequences[colour] = {'\x1b', '[', '4', static_cast<char>('0' + ansi::kColourMap[colour]), 'm'};
  }
  return sequences;
}();

// Writes shown text: colours and characters code page 437 lacks as the door's in-text codes.
class ShownWriter {
 public:
  explicit ShownWriter(std::string& out) : out_(out) {}
  void Ascii(std::string_view run) { out_.Append(run); }
  void Byte(uint8_t b) { out_.Push(static_cast<char>(b)); }
  void Colour(int colour) {
    out_.Push(kCodeByte);
    out_.Push(kHexDigits[colour]);
  }
  // The door's own colour code from the text, as it was.
  void DoorColour(std::string_view code, int) { out_.Append(code); }
  void Carried(std::string_view utf8, uint8_t) {
    out_.Push(kCodeByte);
    out_.Append(utf8);
  }

 private:
  BufferedAppend out_;
};

template <typename Writer>
void WriteCaret(Writer& out, char32_t control) {
  if (control >= 0x80) {  // C1: the caret form of its 7-bit equivalent, ESC and a letter
    const char caret[3] = {'^', '[', static_cast<char>(control - 0x40)};
    out.Ascii(std::string_view(caret, sizeof caret));
    return;
  }
  const char caret[2] = {'^', control == 0x7F ? '?' : static_cast<char>(control + 0x40)};
  out.Ascii(std::string_view(caret, sizeof caret));
}

// The formatting state of one text, written out lazily before the next visible character; a
// change that leaves the screen's colours as they are writes nothing.
class Style {
 public:
  // The door's own colour code was written: its colour is on the screen and IRC's default.
  void SetBase(int colour) {
    base_ = colour;
    Reset();
    written_ = false;
    dirty_ = false;
    shown_foreground_ = colour;
    shown_background_ = 0;
  }
  void Reset() {
    foreground_ = background_ = -1;
    bold_ = reverse_ = false;
    dirty_ = true;
  }
  void ToggleBold() {
    bold_ = !bold_;
    dirty_ = true;
  }
  void ToggleReverse() {
    reverse_ = !reverse_;
    dirty_ = true;
  }
  void SetColours(int foreground, int background) {  // -1 default; -2 left as it is
    if (foreground != -2) foreground_ = foreground;
    if (background != -2) background_ = background;
    dirty_ = true;
  }
  // Before a visible character.
  template <typename Writer>
  void Write(Writer& out) {
    if (dirty_) WriteChange(out);
  }
  // At the end of the text: back to the door's colour if anything else was shown.
  template <typename Writer>
  void Close(Writer& out) {
    if (!written_) return;
    written_ = false;
    Show(out, base_, 0);
  }

 private:
  template <typename Writer>
  void WriteChange(Writer& out) {
    dirty_ = false;
    const bool plain = foreground_ < 0 && background_ < 0 && !bold_ && !reverse_;
    if (plain && !written_) return;  // nothing shown differs from the door's own colour
    int foreground = foreground_ >= 0 ? foreground_ : base_;
    if (bold_) foreground |= 8;
    int background = background_ >= 0 ? background_ & 7 : 0;
    if (reverse_) {
      const int swapped = background_ >= 0 ? background_ : 0;
      background = foreground & 7;
      foreground = swapped;
    }
    written_ = !plain;
    Show(out, foreground, background);
  }

  template <typename Writer>
  void Show(Writer& out, int foreground, int background) {
    if (foreground == shown_foreground_ && background == shown_background_) return;
    shown_foreground_ = foreground;
    shown_background_ = background;
    out.Colour(foreground);
    if (background != 0) out.Ascii(std::string_view(kBackgroundSequences[background].data(), 5));
  }

  int base_ = 7;
  int foreground_ = -1;
  int background_ = -1;
  bool bold_ = false;
  bool reverse_ = false;
  bool dirty_ = false;
  bool written_ = false;  // colours other than the base are in effect on the caller's screen
  // The colours on the screen, as far as this text knows (-1: not known).
  int shown_foreground_ = -1;
  int shown_background_ = -1;
};

// One character; `bytes` is how the text had it (its UTF-8 sequence, or one Windows-1252 byte).
template <typename Writer>
void WriteCharacter(Writer& out, const ShownFormTable& forms, char32_t cp, std::string_view bytes,
                    const IrcTextOptions& options) {
  const ShownForm form = forms.Find(cp);
  switch (form.kind) {
    case ShownKind::kByte:
      out.Byte(form.byte);
      break;
    case ShownKind::kCaret:
      WriteCaret(out, cp);
      break;
    case ShownKind::kNothing:
      break;  // it would reorder or hide text on a terminal that obeys it
    case ShownKind::kLacking:
      if (options.keep_unicode) {  // carried for a caller that can show it
        if (bytes.size() > 1) {
          out.Carried(bytes, form.byte);
        } else {
          // Four bytes at most; the rest is room for the appends' fixed-size moves, which the
          // compiler cannot tell are never taken for so short a text.
          char encoded[16] = {};
          out.Carried(std::string_view(encoded, EncodeUtf8(cp, encoded)), form.byte);
        }
      } else if (form.byte != 0) {
        out.Byte(form.byte);
      }
      break;
  }
}

}  // namespace

int NearestPcColour(uint32_t rgb) {
  return NearestColour(rgb);
}

int PcColourForIrc(int irc_colour) {
  return irc_colour < 0 || irc_colour >= 99 ? -1 : kIrcColourToPc[irc_colour];
}

namespace {

template <typename Writer>
void ConvertIrcText(Writer& out, std::string_view text, IrcTextOptions options) {
  const ShownFormTable& forms = ShownForms();
  Style style;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    const auto b = static_cast<uint8_t>(c);
    if (b >= 0x80) {  // a character beyond ASCII: UTF-8, or a Windows-1252 byte
      char32_t cp = 0;
      size_t length = DecodeUtf8(text, i, cp);
      if (length == 0) {
        cp = Windows1252ToUnicode(b);
        length = 1;
      }
      style.Write(out);
      WriteCharacter(out, forms, cp, text.substr(i, length), options);
      i += length;
      continue;
    }
    if (IsPrintableAscii(c)) {
      // Printable ASCII, the bulk of every line, goes in runs: a long one is found eight bytes
      // at a time.
      size_t run = i + 1;
      const size_t short_end = std::min(text.size(), i + 8);
      while (run < short_end && IsPrintableAscii(text[run])) ++run;
      if (run == short_end) {
        while (text.size() - run >= 8 && !scan::HasNonPrintable(text.data() + run)) run += 8;
        while (run < text.size() && IsPrintableAscii(text[run])) ++run;
      }
      style.Write(out);
      out.Ascii(text.substr(i, run - i));
      i = run;
      continue;
    }
    // A control byte or DEL: formatting, our colour code, or a control shown in caret form.
    if (options.formatting && c == kCodeByte && i + 1 < text.size() && HexValue(text[i + 1]) >= 0) {
      style.Close(out);
      style.SetBase(HexValue(text[i + 1]));
      out.DoorColour(text.substr(i, 2), HexValue(text[i + 1]));
      i += 2;
      continue;
    }
    if (options.formatting && b < 0x20) {
      bool handled = true;
      ++i;
      switch (c) {
        case kBold:
          style.ToggleBold();
          break;
        case kReverse:
          style.ToggleReverse();
          break;
        case kReset:
          style.Reset();
          break;
        case kItalic:
        case kUnderline:
        case kStrikethrough:
        case kMonospace:
          break;
        case kColour: {
          const int foreground = ReadColourNumber(text, i);
          int background = -2;
          if (foreground != -2 && i + 1 < text.size() && text[i] == ',' && IsDigit(text, i + 1)) {
            ++i;
            background = ReadColourNumber(text, i);
          }
          if (foreground == -2) {
            style.SetColours(-1, -1);  // a bare colour code: back to the text's colour
          } else {
            style.SetColours(PcColourForIrc(foreground), background == -2 ? -2 : PcColourForIrc(background));
          }
          break;
        }
        case kHexColour: {
          const int64_t foreground = ReadHexColour(text, i);
          int64_t background = -1;
          if (foreground >= 0 && i < text.size() && text[i] == ',') {
            size_t after = i + 1;
            background = ReadHexColour(text, after);
            if (background >= 0) i = after;
          }
          if (foreground < 0) {
            style.SetColours(-1, -1);
          } else {
            style.SetColours(NearestPcColour(static_cast<uint32_t>(foreground)),
                             background < 0 ? -2 : NearestPcColour(static_cast<uint32_t>(background)));
          }
          break;
        }
        default:
          handled = false;
          --i;
          break;
      }
      if (handled) continue;
    }
    style.Write(out);
    WriteCaret(out, b);
    ++i;
  }
  style.Close(out);
}

}  // namespace

void AppendIrcText(std::string& out, std::string_view text, IrcTextOptions options) {
  ShownWriter writer(out);
  ConvertIrcText(writer, text, options);
}

void WriteIrcText(CallerWriter& out, std::string_view text, IrcTextOptions options) {
  ConvertIrcText(out, text, options);
}

std::string IrcName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendIrcText(out, text, IrcTextOptions{.formatting = false, .keep_unicode = false});
  return out;
}

}  // namespace text
