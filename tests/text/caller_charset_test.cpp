#include "text/caller_charset.h"

#include <gtest/gtest.h>

#include <string>

#include "text/utf8.h"

namespace text {
namespace {

std::string ForCaller(std::string_view shown, CallerCharset charset) {
  std::string out;
  AppendForCaller(out, shown, charset);
  return out;
}

TEST(CallerOutput, DoorGlyphsAndCodesPerCharset) {
  // The door's status marker: colour codes around code page 437 bullets and a phi.
  const std::string marker =
      "\x7F"
      "C\xF9\x7F"
      "F\xED\x7F"
      "7 x";
  EXPECT_EQ(ForCaller(marker, CallerCharset::kCp437), "\x1b[1;31m\xF9\x1b[1;37m\xED\x1b[0;37m x");
  EXPECT_EQ(ForCaller(marker, CallerCharset::kUtf8), "\x1b[1;31m\xE2\x88\x99\x1b[1;37m\xCF\x86\x1b[0;37m x");
  EXPECT_EQ(ForCaller(marker, CallerCharset::kAscii), "\x1b[1;31m.\x1b[1;37mp\x1b[0;37m x");
  // Box drawing, a lone code byte (the house glyph) and control bytes the door sends.
  EXPECT_EQ(ForCaller("\xDA\xC4\xB3\x7F\r\n\x08 \x08", CallerCharset::kUtf8),
            "\xE2\x94\x8C\xE2\x94\x80\xE2\x94\x82\xE2\x8C\x82\r\n\x08 \x08");
  EXPECT_EQ(ForCaller("\xDA\x7F", CallerCharset::kCp437), "\xDA\x7F");
}

TEST(CallerOutput, CarriedCharactersReachUtf8CallersAndStandInsTheOthers) {
  std::string shown = "a";
  AppendShownChar(shown, U'\u00E9');  // in code page 437: one byte
  AppendShownChar(shown, U'\u0141');  // L with stroke: carried
  AppendShownChar(shown, U'\U0001F600');
  AppendShownChar(shown, U'\u0301');  // combining accent
  EXPECT_EQ(shown, "a\x82\x7F\xC5\x81\x7F\xF0\x9F\x98\x80\x7F\xCC\x81");
  EXPECT_EQ(ForCaller(shown, CallerCharset::kCp437), "a\x82L?");
  EXPECT_EQ(ForCaller(shown, CallerCharset::kUtf8), "a\xC3\xA9\xC5\x81\xF0\x9F\x98\x80\xCC\x81");
  EXPECT_EQ(ForCaller(shown, CallerCharset::kAscii), "aeL?");
}

TEST(CallerOutput, PassesUnchangedOnlyWhenNothingToConvert) {
  EXPECT_TRUE(PassesUnchanged("plain \x1b[0m text\r\n", CallerCharset::kUtf8));
  EXPECT_TRUE(PassesUnchanged("\xDA\xC4", CallerCharset::kCp437));
  EXPECT_FALSE(PassesUnchanged("\xDA\xC4", CallerCharset::kUtf8));
  EXPECT_FALSE(
      PassesUnchanged("\x7F"
                      "7",
                      CallerCharset::kCp437));
}

std::string Keys(std::string_view bytes, CallerCharset charset) {
  KeyDecoder decoder(charset);
  std::string keys;
  for (const char c : bytes) decoder.Feed(static_cast<uint8_t>(c), keys);
  return keys;
}

TEST(KeyDecoder, TypedCharactersBecomeUtf8) {
  struct Row {
    const char* name;
    std::string bytes;
    CallerCharset charset;
    std::string keys;
  };
  const Row rows[] = {
      {"e acute from a CP437 caller", "h\x82llo", CallerCharset::kCp437, "h\xC3\xA9llo"},
      {"e acute from a UTF-8 caller", "h\xC3\xA9llo", CallerCharset::kUtf8, "h\xC3\xA9llo"},
      {"CP437 box and no-break space", "\xC4\xFF", CallerCharset::kCp437, "\xE2\x94\x80 "},
      {"emoji and CJK", "\xF0\x9F\x98\x80\xE4\xBD\xA0", CallerCharset::kUtf8, "\xF0\x9F\x98\x80\xE4\xBD\xA0"},
      {"broken sequence dropped, next byte kept",
       "\xC3"
       "a\xE4\xBD"
       "b",
       CallerCharset::kUtf8, "ab"},
      {"stray continuation and invalid leads",
       "\x80\xC0\xAF\xFF"
       "c",
       CallerCharset::kUtf8, "c"},
      {"surrogate and C1 dropped",
       "\xED\xA0\x80\xC2\x9B"
       "d",
       CallerCharset::kUtf8, "d"},
      {"controls pass for the key reader", "\x1b[A\x7F\r", CallerCharset::kUtf8, "\x1b[A\x7F\r"},
      {"7-bit terminal",
       "a\x82"
       "b",
       CallerCharset::kAscii, "ab"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Keys(row.bytes, row.charset), row.keys);
  }
}

// A code page 437 visit whose board passes a UTF-8 caller's typing through unchanged: valid UTF-8
// of two to four bytes is taken as UTF-8, every other byte as code page 437.
TEST(KeyDecoder, TypedUtf8OnACp437Visit) {
  struct Row {
    const char* name;
    std::string bytes;
    std::string keys;
  };
  const Row rows[] = {
      {"e acute as UTF-8", "h\xC3\xA9llo", "h\xC3\xA9llo"},
      {"e acute as code page 437", "h\x82llo", "h\xC3\xA9llo"},
      {"euro sign and emoji", "\xE2\x82\xAC\xF0\x9F\x98\x80", "\xE2\x82\xAC\xF0\x9F\x98\x80"},
      // A box corner (C2 in code page 437) followed by a letter: both code page 437.
      {"lead byte then ASCII",
       "\xC2"
       "a",
       "\xE2\x94\xAC"
       "a"},
      // E0 80 80 is an overlong form: three code page 437 glyphs (alpha, C cedilla, C cedilla).
      {"overlong form", "\xE0\x80\x80", "\xCE\xB1\xC3\x87\xC3\x87"},
      // C2 9B would be a C1 control: never a key, so code page 437 (box piece, cent sign).
      {"C1 control", "\xC2\x9B", "\xE2\x94\xAC\xC2\xA2"},
      {"two leads in a row", "\xC3\xC3\xA9", "\xE2\x94\x9C\xC3\xA9"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    KeyDecoder decoder;
    decoder.SetCharset(CallerCharset::kCp437, /*utf8_in_cp437=*/true);
    std::string keys;
    for (const char c : row.bytes) decoder.Feed(static_cast<uint8_t>(c), keys);
    EXPECT_EQ(keys, row.keys);
    EXPECT_FALSE(decoder.WaitsForRest());
  }
  // A lead byte alone waits; when nothing follows it is taken as code page 437.
  KeyDecoder decoder;
  decoder.SetCharset(CallerCharset::kCp437, true);
  std::string keys;
  decoder.Feed(0xE1, keys);
  EXPECT_EQ(keys, "");
  EXPECT_TRUE(decoder.WaitsForRest());
  decoder.Flush(keys);
  EXPECT_EQ(keys, "\xC3\x9F");  // sharp s
  // A UTF-8 visit's unfinished character is no such case: it waits for its rest as ever.
  decoder.SetCharset(CallerCharset::kUtf8, true);
  decoder.Feed(0xC3, keys);
  EXPECT_FALSE(decoder.WaitsForRest());
}

TEST(Probe, FindsTheCursorReportAmongOtherBytes) {
  const auto report = FindCursorReport("x\x1b[O\x1b[12;1Ry");
  ASSERT_TRUE(report);
  EXPECT_EQ(report->begin, 4u);
  EXPECT_EQ(report->end, 11u);
  EXPECT_EQ(report->row, 12);
  EXPECT_EQ(report->column, 1);
  EXPECT_EQ(FindCursorReport("\x1b[24;4R")->column, 4);
  for (const char* partial : {"\x1b[24;", "\x1b[24R", "\x1b[;4R", "\x1b[1;2;3R", "\x1b[A"}) {
    EXPECT_FALSE(FindCursorReport(partial)) << partial;
  }
}

TEST(CharsetChoice, NamesFromTheCommandLineAndIni) {
  EXPECT_EQ(ParseCharsetChoice("UTF-8"), CharsetChoice::kUtf8);
  EXPECT_EQ(ParseCharsetChoice("utf8"), CharsetChoice::kUtf8);
  EXPECT_EQ(ParseCharsetChoice("CP437"), CharsetChoice::kCp437);
  EXPECT_EQ(ParseCharsetChoice("US-ASCII"), CharsetChoice::kAscii);
  EXPECT_EQ(ParseCharsetChoice(" Auto "), CharsetChoice::kAuto);
  EXPECT_EQ(ParseCharsetChoice("latin-1"), std::nullopt);
}

TEST(Utf8, CutsAndCountsOnCharacterBoundaries) {
  const std::string text = "a\xC3\xA9\xE4\xBD\xA0\xF0\x9F\x98\x80";  // 1 + 2 + 3 + 4 bytes
  EXPECT_EQ(CountChars(text), 4u);
  EXPECT_EQ(CutAtCharBoundary(text, 2), 1u);
  EXPECT_EQ(CutAtCharBoundary(text, 3), 3u);
  EXPECT_EQ(CutAtCharBoundary(text, 9), 6u);
  EXPECT_EQ(CutAtCharBoundary(text, 99), text.size());
  EXPECT_EQ(StartOfLastChars(text, 2), 3u);
  EXPECT_EQ(StartOfLastChars(text, 9), 0u);
  std::string s = text;
  ASSERT_TRUE(PopLastChar(s));
  EXPECT_EQ(s, "a\xC3\xA9\xE4\xBD\xA0");
  EXPECT_EQ(PadChars(text, 6, false), text + "  ");
  EXPECT_EQ(PadChars(text, 6, true), "  " + text);
  EXPECT_EQ(PadChars(text, 3, false), "a\xC3\xA9\xE4\xBD\xA0");
  Utf8Assembler assembler;
  std::string whole;
  for (const char c : text) {
    if (assembler.Feed(static_cast<uint8_t>(c))) whole += std::string(assembler.chars()) + "|";
  }
  EXPECT_EQ(whole, "a|\xC3\xA9|\xE4\xBD\xA0|\xF0\x9F\x98\x80|");
}

}  // namespace
}  // namespace text
