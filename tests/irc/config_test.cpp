// The configuration record: every setting read once from the file into its typed field, what kept
// the file from being read, and the re-reading of a changed file.
#include "irc/session/config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/temp_ini.h"

namespace irc {
namespace {

using testsupport::TempIni;

TEST(Config, EverySettingInItsField) {
  TempIni ini(
      "[General]\nusername = Joe Smith\nhandle=Wolf\nidletime=900\nctcpdelay=-4\nserver=yes\n"
      "connecttimeout=0\ncharset=utf-8\ntelnet=off\n"
      "[MyNet]\nhostA=6667\nChannels = #bbs , #help  key\nhostB=\nPASS=true\nsasl=On\n"
      "webirc=secret\ncharset=latin1\ntlsverify=no\nhostC=+6697\n"
      "[Second]\n127.0.0.1=7000\npass=0\n");
  const Config config = MakeConfig(ini.path(), IniFile(ini.path()).ReadAll());
  EXPECT_EQ(config.file_state, IniFileState::kRead);
  EXPECT_EQ(config.general.username, "Joe Smith");
  EXPECT_EQ(config.general.handle, "Wolf");
  EXPECT_EQ(config.general.idle_limit, 900);
  EXPECT_EQ(config.general.ctcp_delay, 0);
  EXPECT_TRUE(config.general.server_command);
  EXPECT_EQ(config.general.connect_seconds, 30);
  EXPECT_EQ(config.general.charset, text::CharsetChoice::kUtf8);
  EXPECT_EQ(config.general.telnet, false);

  ASSERT_EQ(config.networks.size(), 2u);
  const NetworkConfig& net = config.networks[0];
  EXPECT_EQ(net.name, "MyNet");
  ASSERT_EQ(net.servers.size(), 3u);
  EXPECT_EQ(net.servers[0].host, "hostA");
  EXPECT_EQ(net.servers[1].host, "hostB");
  EXPECT_EQ(net.servers[1].port.port, 6667);
  EXPECT_EQ(net.servers[2].port.port, 6697);
  EXPECT_TRUE(net.servers[2].port.tls);
  EXPECT_EQ(net.channels, "#bbs,#help key");
  EXPECT_TRUE(net.pass);
  EXPECT_TRUE(net.sasl);
  EXPECT_EQ(net.webirc, "secret");
  EXPECT_EQ(net.charset, text::NetworkCharset::kLatin1);
  EXPECT_FALSE(net.tls.verify);
  EXPECT_FALSE(config.networks[1].pass);
  EXPECT_EQ(config.FindNetwork("second"), &config.networks[1]);
  EXPECT_EQ(config.FindNetwork("general"), nullptr);
  EXPECT_EQ(config.FileProblem(), "");
  EXPECT_EQ(config.NoNetworkProblem(), "");
}

TEST(Config, DefaultsWithoutAFile) {
  const Config config = MakeConfig("/nowhere/zelkirc.ini", IniFile("/nowhere/zelkirc.ini").ReadAll());
  EXPECT_EQ(config.file_state, IniFileState::kMissing);
  EXPECT_EQ(config.general.idle_limit, 600);
  EXPECT_EQ(config.general.ctcp_delay, 10);
  EXPECT_FALSE(config.general.server_command);
  EXPECT_EQ(config.general.connect_seconds, 30);
  EXPECT_EQ(config.general.charset, text::CharsetChoice::kAuto);
  EXPECT_FALSE(config.general.telnet.has_value());
  EXPECT_TRUE(config.networks.empty());
  EXPECT_EQ(config.NoNetworkProblem(), "Cannot read /nowhere/zelkirc.ini: file not found");
}

// Every switch key reads yes/no/true/false/on/off and numbers the same way.
TEST(Config, SwitchesReadTheSameWay) {
  const struct {
    std::string value;
    bool on;
  } cases[] = {{"1", true},  {"0x1", true}, {"yes", true},    {"TRUE", true}, {"on", true},
               {"0", false}, {"no", false}, {"False", false}, {"OFF", false}, {"maybe", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string v = c.value;
    TempIni ini("[general]\nserver=" + v + "\nreconnect=" + v + "\n[N]\nh=1\npass=" + v + "\nsasl=" + v +
                "\ntlsverify=" + v + "\n");
    const Config config = MakeConfig(ini.path(), IniFile(ini.path()).ReadAll());
    EXPECT_EQ(config.general.server_command, c.on);
    EXPECT_EQ(config.general.reconnect, c.on || c.value == "maybe");  // reconnect defaults to yes
    EXPECT_EQ(config.networks[0].pass, c.on);
    EXPECT_EQ(config.networks[0].sasl, c.on);
    EXPECT_EQ(config.networks[0].tls.verify, c.on || c.value == "maybe");  // tlsverify defaults to yes
  }
}

TEST(Config, WhatKeptTheFileFromBeingRead) {
  TempIni ini("");
  const std::string& path = ini.path();
  auto load = [&] { return MakeConfig(path, IniFile(path).ReadAll()); };
  EXPECT_EQ(load().NoNetworkProblem(), "No IRC network is set up in " + path);

  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_EQ(load().NoNetworkProblem(), "Cannot read " + path + ": not a regular file");
  std::filesystem::remove(path);

  // Past 4 MiB the rest is not read; the networks before it still are.
  ini.Write("[Net]\nhost=1\n" + std::string(IniFile::kMaxFileBytes, ';') + "\n[Late]\nh=2\n");
  const Config cut = load();
  EXPECT_EQ(cut.file_state, IniFileState::kCut);
  ASSERT_EQ(cut.networks.size(), 1u);
  EXPECT_EQ(cut.FileProblem(), path + " is larger than 4 MiB: only its start was read");
  EXPECT_EQ(cut.NoNetworkProblem(), "");

  ini.Write("[Net]\nhost=1\n");
  chmod(path.c_str(), 0);
  if (geteuid() != 0) {  // root reads it anyway; the visit test runs the door as another user
    EXPECT_EQ(load().NoNetworkProblem(), "Cannot read " + path + ": permission denied");
  }
  EXPECT_EQ(NoServersProblem(load(), "Empty\x1B[2J"), "Network Empty[2J in " + path + " lists no servers");
}

TEST(Config, ValuesEndAtALineEndOrNul) {
  TempIni ini(std::string("[Net]\nh=1\nchannels = #a\rPRIVMSG #x :hi\nwebirc=pw") + '\0' + "QUIT\n");
  const Config config = MakeConfig(ini.path(), IniFile(ini.path()).ReadAll());
  EXPECT_EQ(config.networks[0].channels, "#a");
  EXPECT_EQ(config.networks[0].webirc, "pw");
}

TEST(TrimChannelList, BlanksAroundCommasGo) {
  const struct {
    std::string in, out;
  } cases[] = {{"#bbs, #help", "#bbs,#help"},
               {" #a ,#b , #c key1, key2 ", "#a,#b,#c key1,key2"},
               {"#a   key", "#a key"},
               {"#a,\t#b", "#a,#b"},
               {"", ""}};
  for (const auto& c : cases) EXPECT_EQ(TrimChannelList(c.in), c.out) << c.in;
}

TEST(ConfigFile, ReadOnceAndAgainWhenTheFileChanges) {
  TempIni ini("[general]\nctcpdelay=5\n");
  ConfigFile file(ini.path());
  EXPECT_EQ(file.Current().general.ctcp_delay, 5);
  ini.Write("[general]\nctcpdelay=60\n");
  EXPECT_EQ(file.Current().general.ctcp_delay, 60);
  std::filesystem::remove(ini.path());
  EXPECT_EQ(file.Current().file_state, IniFileState::kMissing);
  EXPECT_EQ(file.Reload().general.ctcp_delay, 10);
}

// /SERVERLIST's reload leaves a file alone that was read whole and has not changed (the one at the
// start of a visit follows the first read at once); a file that could not be read is tried again.
TEST(ConfigFile, ReloadReadsAgainOnlyWhatMayHaveChanged) {
  TempIni ini("[general]\nctcpdelay=5\n");
  ConfigFile file(ini.path());
  const auto modified = std::filesystem::last_write_time(ini.path());
  ini.Write("[general]\nctcpdelay=7\n");  // the same size, and the time put back
  std::filesystem::last_write_time(ini.path(), modified);
  EXPECT_EQ(file.Reload().general.ctcp_delay, 5);
  ini.Write("[general]\nctcpdelay=60\n");
  EXPECT_EQ(file.Reload().general.ctcp_delay, 60);

  TempIni missing("");
  std::filesystem::remove(missing.path());
  ConfigFile later(missing.path());
  EXPECT_EQ(later.Current().file_state, IniFileState::kMissing);
  missing.Write("[general]\nctcpdelay=9\n");
  EXPECT_EQ(later.Reload().general.ctcp_delay, 9);
}

}  // namespace
}  // namespace irc
