#include "text/characters.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/cp437.h"

namespace text {
namespace {

// Unaccented letters for U+00C0-U+017F, in code point order.
constexpr char kLatinFallback[] =
    "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty"   // 00C0-00FF
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlL"   // 0100-013F
    "lLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";  // 0140-017F

struct Fallback {
  char32_t cp;
  char shown;
};

// Punctuation and symbols that have a plain look-alike, sorted by code point.
constexpr Fallback kSymbolFallbacks[] = {
    {0x00A6, '|'},    {0x00A9, 'c'},    {0x00AE, 'R'},    {0x00AF, '-'},    {0x00B3, '3'}, {0x00B4, '\''},
    {0x00B8, ','},    {0x00B9, '1'},    {0x00BE, '?'},    {0x02C6, '^'},    {0x02DC, '~'}, {0x2010, '-'},
    {0x2011, '-'},    {0x2012, '-'},    {0x2013, '-'},    {0x2014, '-'},    {0x2015, '-'}, {0x2018, '\''},
    {0x2019, '\''},   {0x201A, ','},    {0x201B, '\''},   {0x201C, '"'},    {0x201D, '"'}, {0x201E, '"'},
    {0x201F, '"'},    {0x2020, '+'},    {0x2021, '+'},    {0x2022, '\xF9'}, {0x2026, '.'}, {0x2030, '%'},
    {0x2032, '\''},   {0x2033, '"'},    {0x2039, '<'},    {0x203A, '>'},    {0x2044, '/'}, {0x20AC, 'E'},
    {0x2122, 'T'},    {0x2212, '-'},    {0x2215, '/'},    {0x2217, '*'},    {0x223C, '~'}, {0x2260, '='},
    {0x2264, '\xF3'}, {0x2265, '\xF2'}, {0x25CF, '\xF9'}, {0x2713, 'v'},    {0x2714, 'v'}, {0x2717, 'x'},
    {0x3000, ' '},
};

// Code page 437 bytes by character, sorted; built once from the glyph table.
class Cp437Index {
 public:
  Cp437Index() {
    for (int b = 0x80; b < 0xFF; ++b)
      entries_.emplace_back(platform::Cp437ToUnicode(static_cast<uint8_t>(b)), b);
    // Look-alikes that keyboards and fonts produce instead of the code page's own characters.
    entries_.insert(entries_.end(),
                    {{0x03B2, 0xE1}, {0x03BC, 0xE6}, {0x2126, 0xEA}, {0x03D5, 0xED}, {0x2208, 0xEE}});
    std::sort(entries_.begin(), entries_.end());
  }
  int Find(char32_t cp) const {
    if (cp > entries_.back().first) return -1;  // most of Unicode: CJK, emoji
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), std::pair<char32_t, int>(cp, 0));
    return it != entries_.end() && it->first == cp ? it->second : -1;
  }

 private:
  std::vector<std::pair<char32_t, int>> entries_;
};

// Latin-1 letters and signs (U+00A0-U+00FF) directly; built once.
std::array<int16_t, 96> BuildLatin1(const Cp437Index& index) {
  std::array<int16_t, 96> table{};
  for (char32_t cp = 0xA0; cp <= 0xFF; ++cp) table[cp - 0xA0] = static_cast<int16_t>(index.Find(cp));
  table[0] = 0x20;  // no-break space: a plain space, never byte 0xFF
  return table;
}

constexpr char32_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct Range {
  char32_t first;
  char32_t last;
};

// Characters that take two columns: East Asian wide (W) and full-width (F) in Unicode 15's
// EastAsianWidth.txt, emoji presentation included; sorted.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18AFF}, {0x1B000, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F202},
    {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265}, {0x1F300, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
    {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC},
    {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596},
    {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

bool IsCombining(char32_t cp) {
  return (cp >= 0x0300 && cp <= 0x036F) || (cp >= 0x1AB0 && cp <= 0x1AFF) || (cp >= 0x1DC0 && cp <= 0x1DFF) ||
         (cp >= 0x20D0 && cp <= 0x20FF) || (cp >= 0xFE20 && cp <= 0xFE2F);
}

ShownForm ComputeShownForm(char32_t cp) {
  if (IsControl(cp)) return {ShownKind::kCaret, 0};
  if (IsHiddenFormatting(cp)) return {ShownKind::kNothing, 0};
  if (const int b = Cp437ByteFor(cp); b >= 0) return {ShownKind::kByte, static_cast<uint8_t>(b)};
  return {ShownKind::kLacking, FallbackFor(cp)};
}

}  // namespace

ShownFormTable::ShownFormTable() {
  for (char32_t cp = 0; cp < kLowEnd; ++cp) low_[cp] = ComputeShownForm(cp);
  for (char32_t cp = kSymbolStart; cp < kSymbolEnd; ++cp) symbols_[cp - kSymbolStart] = ComputeShownForm(cp);
}

ShownForm ShownFormTable::FindOutside(char32_t cp) {
  // Code page 437 has no character above the symbols, and the ideographs (U+3001-U+FDFF) and the
  // planes above the first, emoji among them, have no stand-in but '?': no need to search.
  if ((cp > 0x3000 && cp < 0xFE00) || (cp >= 0x10000 && cp < 0xE0000)) return {ShownKind::kLacking, '?'};
  return ComputeShownForm(cp);
}

const ShownFormTable& ShownForms() {
  static const ShownFormTable table;
  return table;
}

ShownForm ShownFormFor(char32_t cp) {
  return ShownForms().Find(cp);
}

int Cp437ByteFor(char32_t cp) {
  if (cp < 0x7F) return cp >= 0x20 ? static_cast<int>(cp) : -1;
  static const Cp437Index index;
  static const std::array<int16_t, 96> latin1 = BuildLatin1(index);
  if (cp < 0xA0) return -1;
  if (cp <= 0xFF) return latin1[cp - 0xA0];
  return index.Find(cp);
}

uint8_t FallbackFor(char32_t cp) {
  if (cp >= 0xC0 && cp <= 0x17F) return static_cast<uint8_t>(kLatinFallback[cp - 0xC0]);
  if (cp >= 0xFF01 && cp <= 0xFF5E) return static_cast<uint8_t>(cp - 0xFEE0);  // full-width ASCII
  if (IsCombining(cp) || IsHiddenFormatting(cp)) return 0;
  if (cp > std::rbegin(kSymbolFallbacks)->cp) return '?';
  const auto it = std::lower_bound(std::begin(kSymbolFallbacks), std::end(kSymbolFallbacks), cp,
                                   [](const Fallback& f, char32_t c) { return f.cp < c; });
  if (it != std::end(kSymbolFallbacks) && it->cp == cp) return static_cast<uint8_t>(it->shown);
  return '?';
}

bool IsHiddenFormatting(char32_t cp) {
  return cp == 0x00AD || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
         (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF || (cp >= 0xFFF9 && cp <= 0xFFFB) ||
         (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0000 && cp <= 0xE0FFF);
}

int ColumnWidth(char32_t cp) {
  if (cp < 0xA0) return IsControl(cp) ? 0 : 1;  // quick for ASCII
  if (IsControl(cp) || IsCombining(cp) || IsHiddenFormatting(cp)) return 0;
  if (cp < kWide[0].first) return 1;
  const auto it = std::upper_bound(std::begin(kWide), std::end(kWide), cp,
                                   [](char32_t c, const Range& range) { return c < range.first; });
  return it != std::begin(kWide) && cp <= std::prev(it)->last ? 2 : 1;
}

char32_t Windows1252ToUnicode(uint8_t b) {
  return b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : static_cast<char32_t>(b);
}

}  // namespace text
