// Any bytes as the door's INI file, then every read the client makes of it: section names, the
// keys of each section, each key as string, integer and switch, the network list with the
// servers of each network, and the one-pass read into the configuration record. Besides not
// crashing, the reads must agree with one another, and no value may hold a line end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "irc/protocol/nickname.h"
#include "irc/protocol/port.h"
#include "irc/protocol/words.h"
#include "irc/session/config.h"
#include "irc/session/ini_file.h"
#include "irc/session/server_tls.h"
#include "loopback.h"
#include "text/ascii.h"

namespace {

// Reads are bounded per section so that an input full of tiny sections stays fast.
constexpr size_t kSectionsRead = 4;
constexpr size_t kKeysRead = 4;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "broken invariant: %s\n", what);
  std::abort();
}

void CheckNameList(const std::vector<std::string>& names) {
  size_t bytes = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) Fail("empty name listed");
    bytes += names[i].size() + 1;
    for (size_t j = 0; j < i; ++j) {
      if (text::EqualsIgnoreCase(names[i], names[j])) Fail("name listed twice");
    }
  }
  if (bytes + 1 > irc::IniFile::kNameListBytes) Fail("name list over its byte budget");
}

void ReadKey(const irc::IniFile& ini, const std::string& section, const std::string& key) {
  // A key that is found gives its value whatever the default; one default could be the value.
  const std::string value = ini.ReadString(section, key, "a");
  if (value == "a" && ini.ReadString(section, key, "b") == "b") Fail("a listed key cannot be read");
  if (value.size() > irc::IniFile::kMaxValueLength) Fail("value longer than the limit");
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) Fail("line end in a value");
  if (!irc::IsValidNick(irc::NickFromHandle(value, 1))) Fail("a value as handle gives no valid nickname");
  if (ini.ReadString(text::UpperAscii(section), text::UpperAscii(key), "a") != value)
    Fail("names matched with regard to case");
  int parsed = 0;
  const int expected = irc::ParseIniInteger(value, &parsed) ? parsed : -12345;
  if (ini.ReadInteger(section, key, -12345) != expected) Fail("integer read differs from its value");
  if (ini.ReadBool(section, key, true) != irc::ParseIniSwitch(value).value_or(true))
    Fail("switch read differs from its value");
}

// The network menu's list: every section but the first one named "general"; then each network's
// servers as connecting to it reads them.
void ReadNetworks(const irc::IniFile& ini, std::vector<std::string> sections) {
  for (auto it = sections.begin(); it != sections.end(); ++it) {
    if (text::EqualsIgnoreCase(*it, "general")) {
      sections.erase(it);
      break;
    }
  }
  for (size_t n = 0; n < sections.size() && n < kSectionsRead; ++n) {
    const std::string& network = sections[n];
    std::vector<std::string> hosts = ini.ReadSectionKeys(network);
    for (std::string_view skipped : {"channels", "pass"}) {
      for (auto it = hosts.begin(); it != hosts.end(); ++it) {
        if (text::EqualsIgnoreCase(*it, skipped)) {
          hosts.erase(it);
          break;
        }
      }
    }
    for (size_t h = 0; h < hosts.size() && h < kKeysRead; ++h) {
      // A port is a port, the default, or no port; an integer value is never wrapped into range.
      const std::string value = ini.ReadString(network, hosts[h], "");
      const int port = irc::ParseServerPort(value).port;
      if (port != irc::kNoPort && !irc::IsPort(port)) Fail("port outside 1-65535");
      int number = 0;
      if (irc::ParseIniInteger(value, &number) && port != number && port != irc::kNoPort)
        Fail("integer port changed");
      (void)ini.ReadBool(network, "pass", false);
    }
    (void)ini.ReadString(network, "channels", "");
  }
}

// The one-pass read agrees with the single reads, and the record is made from it.
void CheckReadAll(const irc::IniFile& ini, const std::vector<std::string>& sections) {
  const irc::IniContents contents = ini.ReadAll();
  if (contents.sections.size() != sections.size()) Fail("one-pass read lists other sections");
  size_t kept = 0;
  for (const irc::IniSection& section : contents.sections) kept += section.keys.size();
  for (size_t s = 0; s < sections.size(); ++s) {
    if (contents.sections[s].name != sections[s]) Fail("one-pass read names a section otherwise");
    if (s >= kSectionsRead) continue;
    std::vector<std::string> listed;
    for (const irc::IniSection::Key& key : contents.sections[s].keys) {
      if (key.listed) listed.push_back(key.name);
    }
    // Past the cap on keys kept in all, the one-pass read lists fewer.
    if (listed != ini.ReadSectionKeys(sections[s]) && kept < irc::IniFile::kMaxKeysKept)
      Fail("one-pass read lists other keys");
    for (size_t k = 0; k < listed.size() && k < kKeysRead; ++k) {
      if (*contents.sections[s].Find(listed[k]) != ini.ReadString(sections[s], listed[k], ""))
        Fail("one-pass read gives another value");
    }
  }
  const irc::Config config = irc::MakeConfig("zelkirc.ini", contents);
  for (const irc::NetworkConfig& network : config.networks) {
    if (network.channels.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      Fail("line end in a channel list");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzzsupport::TempDir dir;
  static const std::string path = dir.Write("zelkirc.ini", "");
  dir.Write("zelkirc.ini", std::string_view(reinterpret_cast<const char*>(data), size));

  const irc::IniFile ini(path);
  const std::vector<std::string> sections = ini.ReadSectionNames();
  CheckNameList(sections);
  for (size_t s = 0; s < sections.size() && s < kSectionsRead; ++s) {
    const std::vector<std::string> keys = ini.ReadSectionKeys(sections[s]);
    CheckNameList(keys);
    for (size_t k = 0; k < keys.size() && k < kKeysRead; ++k) ReadKey(ini, sections[s], keys[k]);
  }
  (void)ini.ReadInteger("general", "idletime", 600);
  (void)ini.ReadInteger("general", "ctcpdelay", 10);
  (void)ini.ReadBool("general", "server", false);
  (void)ini.ReadString("general", "handle", "");
  ReadNetworks(ini, sections);
  CheckReadAll(ini, sections);
  return 0;
}
