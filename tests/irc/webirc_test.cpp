#include "irc/protocol/webirc.h"

#include <gtest/gtest.h>

namespace irc {
namespace {

TEST(WebircTest, CallerAddressesAreNumericOnly) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"203.0.113.7", "203.0.113.7"},
      {"0.0.0.0", "0.0.0.0"},
      {"255.255.255.255", "255.255.255.255"},
      {"2001:db8::1", "2001:db8::1"},
      {"::1", "0::1"},  // a leading colon would start a trailing parameter
      {"::ffff:192.0.2.1", "0::ffff:192.0.2.1"},
      {"fe80:0:0:0:0:0:0:1", "fe80:0:0:0:0:0:0:1"},
      {"2001:DB8:0:0:8:800:200C:417A", "2001:DB8:0:0:8:800:200C:417A"},
      {"", ""},
      {"256.1.1.1", ""},
      {"1.2.3", ""},
      {"1.2.3.4.5", ""},
      {"1.2.3.4 ", ""},
      {"01234.1.1.1", ""},
      {"bbs.example.net", ""},
      {"%I", ""},
      {"1.2.3.4\r\nQUIT", ""},
      {"2001:db8::1::2", ""},
      {"2001:db8:1", ""},
      {"1:2:3:4:5:6:7:8:9", ""},
      {"12345::1", ""},
      {"2001:db8:", ""},
      {":1", ""},
      {"::", "0::"},
      {"1::2:3:4:5:6:7:8", ""},
      {"::ffff:300.0.2.1", ""},
  };
  for (auto [in, out] : cases) EXPECT_EQ(CallerAddressForWebirc(in), out) << in;
}

TEST(WebircTest, LineNeedsAPasswordOfOneWordAndAnAddress) {
  EXPECT_EQ(WebircLine("s3cret", "203.0.113.7"), "WEBIRC s3cret ZelkIRC 203.0.113.7 203.0.113.7");
  EXPECT_EQ(WebircLine("s3cret", "::1"), "WEBIRC s3cret ZelkIRC 0::1 0::1");
  for (std::string_view password : {"", "two words", ":colon", "tab\there", "cr\r"}) {
    EXPECT_EQ(WebircLine(password, "203.0.113.7"), "") << password;
  }
  EXPECT_EQ(WebircLine("s3cret", ""), "");
  EXPECT_EQ(WebircLine("s3cret", "bbs.example.net"), "");
}

}  // namespace
}  // namespace irc
