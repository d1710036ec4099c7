#include "net/telnet.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

using namespace std::string_literals;
using net::TelnetDecoder;

std::string DecodeWhole(std::string_view in) {
  TelnetDecoder decoder;
  std::string out;
  decoder.Decode(in, out);
  return out;
}

std::string DecodeByteByByte(std::string_view in) {
  TelnetDecoder decoder;
  std::string out;
  for (char c : in) decoder.Decode(std::string_view(&c, 1), out);
  return out;
}

struct DecodeCase {
  const char* name;
  std::string in;
  std::string want;
};

const DecodeCase kDecodeCases[] = {
    {"plain text passes", "hello", "hello"},
    {"IAC IAC is one 0xFF",
     "a\xFF\xFF"
     "b",
     "a\xFF"
     "b"},
    {"WILL with its option is consumed",
     "a\xFF\xFB\x18"
     "b",
     "ab"},
    {"WONT DO DONT too", "\xFF\xFC\x01x\xFF\xFD\x03y\xFF\xFE\x22z", "xyz"},
    {"option byte 0xFF is an option, not data", "\xFF\xFD\xFFq", "q"},
    {"TTYPE answer's 0x18 never becomes Ctrl-X", "\xFF\xFB\x18\xFF\xFA\x18\x00xterm\xFF\xF0hi"s, "hi"},
    {"NAWS report is swallowed whole",
     "ab\xFF\xFA\x1F\x00\x50\x00\x19\xFF\xF0"
     "cd"s,
     "abcd"},
    {"NAWS with a doubled 0xFF width inside", "\xFF\xFA\x1F\x00\xFF\xFF\x00\x19\xFF\xF0z"s, "z"},
    {"long subnegotiation",
     "\xFF\xFA\x27" + std::string(10000, 'x') +
         "\xFF\xF0"
         "ok",
     "ok"},
    {"two-byte commands (NOP, AYT, GA) vanish",
     "a\xFF\xF1"
     "b\xFF\xF6"
     "c\xFF\xF9"
     "d",
     "abcd"},
    {"CR NUL is one Enter", "one\r\0two\r\0"s, "one\rtwo\r"},
    {"CR LF is one Enter", "one\r\ntwo\r\n", "one\rtwo\r"},
    {"CR alone stays", "a\rb", "a\rb"},
    {"CR CR is two Enters", "\r\r\0"s, "\r\r"},
    {"lone NUL dropped alone", "a\0b\0\0c"s, "abc"},
    {"lone LF stays", "a\nb", "a\nb"},
    {"CR then IAC IAC keeps the 0xFF", "\r\xFF\xFF", "\r\xFF"},
    {"paste of CR NUL lines keeps every line", "l1\r\0l2\r\0l3\r\0"s, "l1\rl2\rl3\r"},
    {"IAC inside SB followed by a command ends it", "\xFF\xFA\x18\xFF\xFB\x01x", "x"},
};

class TelnetDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(TelnetDecodeTest, WholeAndByteByByte) {
  const DecodeCase& c = GetParam();
  EXPECT_EQ(DecodeWhole(c.in), c.want);
  EXPECT_EQ(DecodeByteByByte(c.in), c.want);
}

INSTANTIATE_TEST_SUITE_P(Cases, TelnetDecodeTest, ::testing::ValuesIn(kDecodeCases),
                         [](const ::testing::TestParamInfo<DecodeCase>& info) {
                           std::string name;
                           for (char c : std::string(info.param.name)) {
                             name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           }
                           return name;
                         });

TEST(TelnetDecoder, EveryTwoWaySplitGivesTheSameBytes) {
  const std::string in =
      "a\xFF\xFF\xFF\xFA\x1F\x00\x50\xFF\xF0"
      "b\r\0c\r\nd\xFF\xFD\x01"
      "e"s;
  const std::string want = DecodeWhole(in);
  for (size_t cut = 0; cut <= in.size(); ++cut) {
    TelnetDecoder decoder;
    std::string out;
    decoder.Decode(std::string_view(in).substr(0, cut), out);
    decoder.Decode(std::string_view(in).substr(cut), out);
    EXPECT_EQ(out, want) << "cut at " << cut;
  }
  EXPECT_EQ(want,
            "a\xFF"
            "b\rc\rde");
}

TEST(TelnetDecoder, ResetForgetsAHalfCommand) {
  TelnetDecoder decoder;
  std::string out;
  decoder.Decode("\xFF\xFA\x18", out);
  decoder.Reset();
  decoder.Decode("abc", out);
  EXPECT_EQ(out, "abc");
}

TEST(TelnetEscape, DoublesEvery0xFF) {
  const struct {
    std::string in, want;
  } cases[] = {
      {"", ""},
      {"plain", "plain"},
      {"\xFF", "\xFF\xFF"},
      {"a\xFF\xFF"
       "b\xFF",
       "a\xFF\xFF\xFF\xFF"
       "b\xFF\xFF"},
  };
  for (const auto& c : cases) {
    std::string out = "x";
    net::TelnetEscape(c.in, out);
    EXPECT_EQ(out, "x" + c.want);
    EXPECT_EQ(DecodeWhole(c.want), c.in);  // what the escaper sends, a decoder reads back
  }
}

}  // namespace
