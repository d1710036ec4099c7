#include "irc/network_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_ini.h"

namespace irc {
namespace {

using testsupport::TempIni;

TEST(NetworkKeysTest, SettingsInAnyCaseAreNeverHosts) {
  TempIni ini(
      "[Net]\nhostA=6667\nChannels=#a\nPASS=1\nSasl=yes\nhostB=\nWEBIRC=secret\ncharset=cp437\n"
      "TlsVerify=no\ntlsFINGERPRINT=ab:cd\n127.0.0.1=+6697\npassword=1\nsasl2=1\n");
  IniFile file(ini.path());
  EXPECT_EQ(NetworkHosts(file, "net"),
            (std::vector<std::string>{"hostA", "hostB", "127.0.0.1", "password", "sasl2"}));
  EXPECT_TRUE(NetworkHosts(file, "missing").empty());
}

TEST(NetworkKeysTest, SwitchesTakeWordsAndNumbers) {
  TempIni ini("[n]\na=yes\nb=No\nc=TRUE\nd=off\ne=1\nf=0\ng=0x10\nh=maybe\ni=\nj=On\nk=false\n");
  IniFile file(ini.path());
  struct Case {
    const char* key;
    bool def;
    bool expected;
  };
  const Case cases[] = {
      {"a", false, true},   {"b", true, false},     {"c", false, true}, {"d", true, false},
      {"e", false, true},   {"f", true, false},     {"g", false, true}, {"h", false, false},
      {"h", true, true},    {"i", true, true},      {"j", false, true}, {"k", true, false},
      {"none", true, true}, {"none", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadSwitch(file, "N", c.key, c.def), c.expected) << c.key << " default " << c.def;
  }
}

}  // namespace
}  // namespace irc
