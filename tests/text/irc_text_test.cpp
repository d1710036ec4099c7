// IRC text as each caller's terminal gets it: server bytes through AppendIrcText (the shown text)
// and AppendForCaller (the caller's bytes).
#include "text/irc_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "text/caller_charset.h"
#include "text/caller_writer.h"

namespace text {
namespace {

std::string Shown(std::string_view irc, IrcTextOptions options = {}) {
  std::string shown;
  AppendIrcText(shown, irc, options);
  return shown;
}

std::string ForCaller(std::string_view irc, CallerCharset charset) {
  std::string out;
  AppendForCaller(out, Shown(irc), charset);
  return out;
}

// Colour codes as the caller gets them.
const std::string kRed = "\x1b[1;31m";     // PC 12
const std::string kGrey = "\x1b[0;37m";    // PC 7, the text's colour
const std::string kWhite = "\x1b[1;37m";   // PC 15
const std::string kBlack = "\x1b[0;30m";   // PC 0
const std::string kYellow = "\x1b[1;33m";  // PC 14
const std::string kOnBlue = "\x1b[44m";    // background PC 1

struct Case {
  const char* name;
  std::string irc;
  std::string cp437;
  std::string utf8;
};

TEST(IrcText, ServerBytesForEachCallerCharset) {
  const Case cases[] = {
      {"plain ASCII", "hello, world", "hello, world", "hello, world"},
      {"accents", "caf\xC3\xA9 na\xC3\xAFve", "caf\x82 na\x8Bve", "caf\xC3\xA9 na\xC3\xAFve"},
      {"accent without a code page glyph",
       "\xC3\x80 \xC5\x82\xC3\xB3"
       "d\xC5\xBA",
       "A l\xA2"
       "dz",
       "\xC3\x80 \xC5\x82\xC3\xB3"
       "d\xC5\xBA"},
      {"euro and curly quotes", "\xE2\x82\xAC \xE2\x80\x9Chi\xE2\x80\x9D", "E \"hi\"",
       "\xE2\x82\xAC \xE2\x80\x9Chi\xE2\x80\x9D"},
      {"CJK", "\xE4\xBD\xA0\xE5\xA5\xBD", "??", "\xE4\xBD\xA0\xE5\xA5\xBD"},
      {"emoji", "ok \xF0\x9F\x98\x80", "ok ?", "ok \xF0\x9F\x98\x80"},
      {"combining accent takes no column", "e\xCC\x81", "e", "e\xCC\x81"},
      {"no-break space is a space, never 0xFF",
       "a\xC2\xA0"
       "b",
       "a b", "a b"},
      {"hidden bidi override left out", "x\xE2\x80\xAEy", "xy", "xy"},
      {"invalid UTF-8 as Windows-1252", "caf\xE9 \x80 \x93q\x94", "caf\x82 E \"q\"",
       "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cq\xE2\x80\x9D"},
      {"truncated sequence", "a\xE2\x82", "a\x83,", "a\xC3\xA2\xE2\x80\x9A"},
      {"overlong and surrogate forms", "\xC0\xAF\xED\xA0\x80", "A-\xA1 E",
       "\xC3\x80\xC2\xAF\xC3\xAD \xE2\x82\xAC"},
      {"ESC", "\x1b[2J", "^[[2J", "^[[2J"},
      {"BS forges nothing",
       "evil\x08\x08\x08\x08"
       "admin",
       "evil^H^H^H^Hadmin", "evil^H^H^H^Hadmin"},
      {"BEL FF SO SI", "\x07\x0C\x0E\x0F", "^G^L^N", "^G^L^N"},
      {"CTCP byte and NUL", std::string("\x01x\0", 3), "^Ax^@", "^Ax^@"},
      {"DEL", "a\x7Fz", "a^?z", "a^?z"},
      {"C1 as UTF-8",
       "\xC2\x9B"
       "31m\xC2\x9D"
       "0;x",
       "^[[31m^[]0;x", "^[[31m^[]0;x"},
      {"C1 as raw bytes: Windows-1252 or caret", "\x9B\x9D\x8D", ">^[]^[M", "\xE2\x80\xBA^[]^[M"},
      {"0xFF byte", "\xFF", "\x98", "\xC3\xBF"},
      {"colour",
       "\x03"
       "4red\x03 back",
       kRed + "red" + kGrey + " back", kRed + "red" + kGrey + " back"},
      {"colour with background",
       "\x03"
       "0,2x",
       kWhite + kOnBlue + "x" + kGrey, kWhite + kOnBlue + "x" + kGrey},
      {"colour 99 is the text's colour",
       "\x03"
       "4a\x03"
       "99b",
       kRed + "a" + kGrey + "b", kRed + "a" + kGrey + "b"},
      {"extended colour to nearest",
       "\x03"
       "52x\x03"
       "88y",
       "\x1b[0;31mx" + kBlack + "y" + kGrey, "\x1b[0;31mx" + kBlack + "y" + kGrey},
      {"hex colour",
       "\x04"
       "FFFF00x\x04"
       "z",
       kYellow + "x" + kGrey + "z", kYellow + "x" + kGrey + "z"},
      {"bold brightens",
       "\x02"
       "b\x02n",
       "\x1b[1;37mb" + kGrey + "n", "\x1b[1;37mb" + kGrey + "n"},
      {"reverse swaps", "\x16r", kBlack + "\x1b[47mr" + kGrey, kBlack + "\x1b[47mr" + kGrey},
      {"reset",
       "\x02\x03"
       "4a\x0f"
       "b",
       kRed + "a" + kGrey + "b", kRed + "a" + kGrey + "b"},
      {"italic underline strike mono dropped",
       "\x1D"
       "a\x1F"
       "b\x1E"
       "c\x11"
       "d",
       "abcd", "abcd"},
      {"comma without digit stays text",
       "\x03"
       "4,x",
       kRed + ",x" + kGrey, kRed + ",x" + kGrey},
      {"a change that leaves the colours as they are sends nothing",
       "\x03"
       "4a\x02"
       "b\x03"
       "4c\x02",
       kRed + "abc" + kGrey, kRed + "abc" + kGrey},
      {"codes with no text after them show nothing",
       "a\x03"
       "4\x02",
       "a", "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ForCaller(c.irc, CallerCharset::kCp437), c.cp437);
    EXPECT_EQ(ForCaller(c.irc, CallerCharset::kUtf8), c.utf8);
  }
}

TEST(IrcText, NoControlByteReachesEitherCaller) {
  std::string every;
  for (int b = 0; b < 256; ++b) every.push_back(static_cast<char>(b));
  every += "\xC2\x80\xC2\x9F\xC2\xA0";
  for (CallerCharset charset : {CallerCharset::kCp437, CallerCharset::kUtf8, CallerCharset::kAscii}) {
    for (bool formatting : {true, false}) {
      std::string shown;
      AppendIrcText(shown, every, {.formatting = formatting});
      std::string out;
      AppendForCaller(out, shown, charset);
      // Only the door's own colour sequences may carry ESC: take them out, then nothing below
      // 0x20, no DEL, no C1 byte and no 0xFF may be left.
      for (size_t esc = out.find('\x1b'); esc != std::string::npos; esc = out.find('\x1b')) {
        const size_t m = out.find('m', esc);
        ASSERT_NE(m, std::string::npos);
        out.erase(esc, m + 1 - esc);
      }
      for (const char c : out) {
        const auto b = static_cast<uint8_t>(c);
        EXPECT_TRUE(b >= 0x20 && b != 0x7F && b != 0xFF) << static_cast<int>(b);
        if (charset == CallerCharset::kAscii) {
          EXPECT_LT(b, 0x80);
        }
      }
    }
  }
}

TEST(IrcText, DoorColoursAroundIrcTextStayAsBefore) {
  // The door's own codes pass; IRC colours end where the door's next code starts.
  EXPECT_EQ(Shown("\x7F"
                  "8<\x7F"
                  "7nick\x7F"
                  "8> \x7F"
                  "7hi"),
            "\x7F"
            "8<\x7F"
            "7nick\x7F"
            "8> \x7F"
            "7hi");
  EXPECT_EQ(Shown("\x7F"
                  "3\x03"
                  "4x\x7F"
                  "8)"),
            "\x7F"
            "3\x7F"
            "Cx\x7F"
            "3\x7F"
            "8)");
  // A bare colour code returns to the colour the door set before the text.
  EXPECT_EQ(Shown("\x7F"
                  "3\x03"
                  "4x\x03y"),
            "\x7F"
            "3\x7F"
            "Cx\x7F"
            "3y");
}

TEST(IrcText, NamesShowFormattingAsCaretsOneByteEach) {
  EXPECT_EQ(IrcName("#x\x1b[2J\x03"
                    "4\xE4\xBD\xA0\xC3\xA9"),
            "#x^[[2J^C4?\x82");
}

TEST(IrcText, ExtendedColoursMapToTheNearestOfSixteen) {
  EXPECT_EQ(PcColourForIrc(4), 12);
  EXPECT_EQ(PcColourForIrc(52), 4);   // FF0000 is nearer AA0000 than FF5555
  EXPECT_EQ(PcColourForIrc(60), 1);   // 0000FF
  EXPECT_EQ(PcColourForIrc(64), 12);  // FF5959
  EXPECT_EQ(PcColourForIrc(98), 15);  // FFFFFF
  EXPECT_EQ(PcColourForIrc(99), -1);
  EXPECT_EQ(NearestPcColour(0xA0A0A0), 7);
}

// Texts made of the pieces that matter: formatting codes with and without numbers, the door's
// colour codes, UTF-8 of every length, broken sequences, controls, DEL and high bytes.
std::vector<std::string> MixedTexts() {
  const std::string pieces[] = {
      "abc ",
      "\x02",
      "\x03",
      "\x03"
      "4",
      "\x03"
      "12,1",
      "\x03"
      "52",
      "\x03"
      "4,",
      "\x04"
      "FF00FF",
      "\x0F",
      "\x16",
      "\x1D",
      "\x1F",
      "\x7F"
      "7",
      "\x7F"
      "c",
      "\x7F",
      "\x7F\xC3\xA9",
      "\xC3\xA9",
      "\xC5\x82",
      "\xE2\x82\xAC",
      "\xE2\x94\x80",
      "\xE4\xBD\xA0",
      "\xF0\x9F\x98\x80",
      "\xCC\x81",
      "\xE2\x80\xAE",
      "\xC2\x9B",
      "\xC2\xA0",
      "\x80",
      "\x9D",
      "\xFF",
      "\xE2\x82",
      "\x1b[2J",
      std::string(1, '\0'),
      "\x07",
      "\r\n",
      "\x1b",
      "0,5",
  };
  std::vector<std::string> texts;
  uint32_t seed = 12345;
  for (int t = 0; t < 3000; ++t) {
    std::string text;
    const int count = 1 + t % 12;
    for (int k = 0; k < count; ++k) {
      seed = seed * 1103515245 + 12345;
      text += pieces[(seed >> 16) % std::size(pieces)];
    }
    texts.push_back(text);
  }
  return texts;
}

TEST(IrcText, StraightToTheCallerAsThroughShownText) {
  const IrcTextOptions option_sets[] = {{}, {.formatting = false}, {.keep_unicode = false}};
  for (const std::string& text : MixedTexts()) {
    for (const IrcTextOptions& options : option_sets) {
      std::string shown;
      AppendIrcText(shown, text, options);
      std::string console_wanted;
      AppendForCaller(console_wanted, shown, CallerCharset::kCp437);
      for (CallerCharset charset : {CallerCharset::kCp437, CallerCharset::kUtf8, CallerCharset::kAscii}) {
        std::string caller_wanted;
        AppendForCaller(caller_wanted, shown, charset);
        std::string caller;
        std::string console;
        const bool cp437 = charset == CallerCharset::kCp437;
        {
          CallerWriter writer(caller, cp437 ? nullptr : &console, charset);
          WriteIrcText(writer, text, options);
        }
        ASSERT_EQ(caller, caller_wanted) << testing::PrintToString(text);
        if (!cp437) {
          ASSERT_EQ(console, console_wanted) << testing::PrintToString(text);
        }
      }
    }
  }
}

}  // namespace
}  // namespace text
