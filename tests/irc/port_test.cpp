#include "irc/protocol/port.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "irc/session/server_tls.h"

namespace irc {
namespace {

// A port text is one of three things: a port, an integer that is no port, or no integer at all.
TEST(PortTest, IntegersOutsideTheRangeAreNoPort) {
  constexpr std::optional<int> kNoInteger;
  struct Case {
    std::string text;
    std::optional<int> typed;       // decimal only
    std::optional<int> configured;  // hexadecimal allowed
  };
  const Case cases[] = {
      {"6697", 6697, 6697},
      {"+1", 1, 1},
      {"65535", 65535, 65535},
      {"0065535", 65535, 65535},
      // Integers outside 1-65535 are never wrapped into the range.
      {"65536", kNoPort, kNoPort},
      {"100069", kNoPort, kNoPort},  // 100069 % 65536 would be 34533
      {"0", kNoPort, kNoPort},
      {"-1", kNoPort, kNoPort},
      {"-59467", kNoPort, kNoPort},  // -59467 as 16 bits would be 6069
      {"99999999999", kNoPort, kNoPort},
      {std::string(5000, '9'), kNoPort, kNoPort},
      {"0x1A0B", kNoInteger, 0x1A0B},
      {"0x10000", kNoInteger, kNoPort},
      {"0xFFFFFFFF", kNoInteger, kNoPort},
      {"", kNoInteger, kNoInteger},
      {"abc", kNoInteger, kNoInteger},
      {"66a", kNoInteger, kNoInteger},
      {"-", kNoInteger, kNoInteger},
      {"0x", kNoInteger, kNoInteger},
      {"+-5", kNoInteger, kNoInteger},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    EXPECT_EQ(PortNumber(c.text, false), c.typed);
    EXPECT_EQ(PortNumber(c.text, true), c.configured);
  }
  EXPECT_FALSE(IsPort(kNoPort));
}

// A network section's port keeps its TLS mark; an integer out of range is no port, plain or TLS,
// where it used to become 6667 or wrap.
TEST(PortTest, ConfiguredServerPortsOutOfRange) {
  for (const char* text : {"99999999999", "100069", "-1", "0", "+100069", "+0"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseServerPort(text).port, kNoPort);
    EXPECT_EQ(ParseServerPort(text).tls, text[0] == '+');
  }
  EXPECT_EQ(ParseServerPort(" 7000 ").port, 7000);
  EXPECT_EQ(ParseServerPort("abc").port, 6667);
}

}  // namespace
}  // namespace irc
