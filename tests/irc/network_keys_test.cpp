#include "irc/session/network_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/session/config.h"
#include "support/temp_ini.h"

namespace irc {
namespace {

using testsupport::TempIni;

TEST(NetworkKeysTest, SettingsInAnyCaseAreNeverHosts) {
  TempIni ini(
      "[Net]\nhostA=6667\nChannels=#a\nPASS=1\nSasl=yes\nhostB=\nWEBIRC=secret\ncharset=cp437\n"
      "TlsVerify=no\ntlsFINGERPRINT=ab:cd\n127.0.0.1=+6697\npassword=1\nsasl2=1\n");
  const Config config = MakeConfig(ini.path(), IniFile(ini.path()).ReadAll());
  ASSERT_NE(config.FindNetwork("net"), nullptr);
  std::vector<std::string> hosts;
  for (const ServerEntry& server : config.FindNetwork("net")->servers) hosts.push_back(server.host);
  EXPECT_EQ(hosts, (std::vector<std::string>{"hostA", "hostB", "127.0.0.1", "password", "sasl2"}));
}

}  // namespace
}  // namespace irc
