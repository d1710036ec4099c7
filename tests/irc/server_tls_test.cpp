#include "irc/session/server_tls.h"

#include <string>

#include "gtest/gtest.h"
#include "irc/session/config.h"
#include "support/temp_ini.h"

namespace {

using irc::ParseFingerprint;
using irc::ParseServerPort;

TEST(ServerPort, PlusMeansTlsAndAnythingElseKeepsTheOldRules) {
  struct Case {
    const char* text;
    int port;
    bool tls;
  } cases[] = {
      {"6667", 6667, false},   {"+6697", 6697, true},   {" +7000 ", 7000, true}, {"+0x1A2B", 0x1A2B, true},
      {"", 6667, false},       {"abc", 6667, false},    {"+", 6667, false},      {"++6697", 6667, false},
      {"+-6697", 6667, false}, {"+66 97", 6667, false}, {"6697+", 6667, false},
  };
  for (const Case& c : cases) {
    const irc::ServerPort port = ParseServerPort(c.text);
    EXPECT_EQ(port.port, c.port) << c.text;
    EXPECT_EQ(port.tls, c.tls) << c.text;
  }
}

TEST(Fingerprint, HexPairsWithOrWithoutColons) {
  const std::string hex = "00112233445566778899AABBCCDDEEFF00112233445566778899aabbccddeeff";
  std::string colons;
  for (size_t i = 0; i < hex.size(); i += 2) colons += (i ? ":" : "") + hex.substr(i, 2);
  const std::optional<std::string> plain = ParseFingerprint(hex);
  ASSERT_TRUE(plain);
  ASSERT_EQ(plain->size(), 32u);
  EXPECT_EQ(static_cast<unsigned char>((*plain)[1]), 0x11);
  EXPECT_EQ(static_cast<unsigned char>((*plain)[31]), 0xFF);
  EXPECT_EQ(ParseFingerprint(colons), plain);
  EXPECT_EQ(ParseFingerprint("  " + colons + " "), plain);
  for (const std::string& bad :
       {hex.substr(2), hex + "00", hex.substr(1), colons + ":", ":" + colons, hex.substr(0, 62) + "zz",
        colons.substr(0, 2) + "::" + colons.substr(3), std::string("sha256")}) {
    EXPECT_FALSE(ParseFingerprint(bad)) << bad;
  }
}

TEST(TlsPolicy, NetworkSettingsAreNeverHostsAndAreReadWithTheirDefaults) {
  testsupport::TempIni ini(
      "[Open]\nirc.example.net=+6697\n"
      "[Private]\nirc.bbs.example=+6697\nTLSVERIFY=no\n"
      "tlsfingerprint=00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF\n"
      "[Broken]\nirc.bbs.example=+6697\ntlsfingerprint=00:11\n");
  const irc::Config config = irc::MakeConfig(ini.path(), irc::IniFile(ini.path()).ReadAll());
  ASSERT_EQ(config.networks.size(), 3u);
  ASSERT_EQ(config.networks[1].servers.size(), 1u);
  EXPECT_EQ(config.networks[1].servers[0].host, "irc.bbs.example");

  const irc::TlsPolicy& open = config.networks[0].tls;
  EXPECT_TRUE(open.verify);
  EXPECT_TRUE(open.pin.empty());
  EXPECT_FALSE(open.pin_malformed);
  const irc::TlsPolicy& priv = config.networks[1].tls;
  EXPECT_FALSE(priv.verify);
  EXPECT_EQ(priv.pin.size(), 32u);
  EXPECT_TRUE(config.networks[2].tls.pin_malformed);
  EXPECT_TRUE(irc::TlsPolicyOf(nullptr).verify);
}

}  // namespace
