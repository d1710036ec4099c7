// Reading the INI file into the typed configuration record, with what went wrong.
#include "irc/session/config.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "irc/session/network_keys.h"
#include "text/ascii.h"

namespace irc {
namespace {

std::string Value(const IniSection* section, std::string_view key, std::string_view def = {}) {
  const std::string* value = section != nullptr ? section->Find(key) : nullptr;
  return value != nullptr ? *value
                          : std::string(def.substr(0, std::min(def.size(), IniFile::kMaxValueLength)));
}

int Integer(std::string_view value, int def) {
  int number = 0;
  return ParseIniInteger(value, &number) ? number : def;
}

std::optional<bool> Switch(const IniSection* section, std::string_view key) {
  const std::string* value = section != nullptr ? section->Find(key) : nullptr;
  return value != nullptr ? ParseIniSwitch(*value) : std::nullopt;
}

// The keys of [general]: each reads its value into its field when the key is there, and the
// field's own initial value is the default. A new general setting gets a row here.
struct GeneralKey {
  std::string_view name;
  void (*read)(std::string_view value, GeneralConfig& general);
};

constexpr GeneralKey kGeneralKeys[] = {
    {"username", [](std::string_view v, GeneralConfig& g) { g.username = v; }},
    {"handle", [](std::string_view v, GeneralConfig& g) { g.handle = v; }},
    // A limit below one second would end the visit at once: such a value counts as unset.
    {"idletime",
     [](std::string_view v, GeneralConfig& g) {
       if (const int seconds = Integer(v, 0); seconds >= 1) g.idle_limit = seconds;
     }},
    // A negative delay would switch the rate limit off: it counts as none.
    {"ctcpdelay",
     [](std::string_view v, GeneralConfig& g) { g.ctcp_delay = std::max(0, Integer(v, g.ctcp_delay)); }},
    {"server",
     [](std::string_view v, GeneralConfig& g) { g.server_command = ParseIniSwitch(v).value_or(false); }},
    {"reconnect",
     [](std::string_view v, GeneralConfig& g) { g.reconnect = ParseIniSwitch(v).value_or(true); }},
    {"connecttimeout",
     [](std::string_view v, GeneralConfig& g) {
       if (const int seconds = Integer(v, 0); seconds > 0) g.connect_seconds = seconds;
     }},
    {"charset",
     [](std::string_view v, GeneralConfig& g) {
       g.charset = text::ParseCharsetChoice(v).value_or(text::CharsetChoice::kAuto);
     }},
    {"telnet", [](std::string_view v, GeneralConfig& g) { g.telnet = ParseIniSwitch(v); }},
    {"stsfile", [](std::string_view v, GeneralConfig& g) { g.sts_file = std::string(v); }},
};

GeneralConfig MakeGeneral(const IniSection* section) {
  GeneralConfig general;
  if (section == nullptr) return general;
  for (const GeneralKey& key : kGeneralKeys) {
    if (const std::string* value = section->Find(key.name)) key.read(*value, general);
  }
  return general;
}

NetworkConfig MakeNetwork(const IniSection& section) {
  NetworkConfig network;
  network.name = section.name;
  for (const IniSection::Key& key : section.keys) {
    if (!key.listed || IsNetworkSetting(key.name)) continue;
    network.servers.push_back(ServerEntry{key.name, ParseServerPort(key.value)});
  }
  network.channels = TrimChannelList(Value(&section, "channels"));
  network.pass = Switch(&section, "pass").value_or(false);
  network.sasl = Switch(&section, "sasl").value_or(false);
  network.webirc = Value(&section, "webirc");
  network.charset =
      text::ParseNetworkCharset(Value(&section, "charset")).value_or(text::NetworkCharset::kUtf8);
  network.tls = TlsPolicyOf(&section);
  return network;
}

// The path as a status line shows it.
std::string Shown(std::string_view path) {
  return text::WithoutControls(path);
}

}  // namespace

const NetworkConfig* Config::FindNetwork(std::string_view name) const {
  for (const NetworkConfig& network : networks) {
    if (text::EqualsIgnoreCase(network.name, name)) return &network;
  }
  return nullptr;
}

std::string Config::FileProblem() const {
  const std::string cannot = "Cannot read " + Shown(path);
  switch (file_state) {
    case IniFileState::kRead:
      return "";
    case IniFileState::kCut:
      return Shown(path) + " is larger than 4 MiB: only its start was read";
    case IniFileState::kMissing:
      return cannot + ": file not found";
    case IniFileState::kNotAFile:
      return cannot + ": not a regular file";
    case IniFileState::kDenied:
      return cannot + ": permission denied";
    case IniFileState::kUnreadable:
      break;
  }
  return cannot;
}

std::string Config::NoNetworkProblem() const {
  if (!networks.empty()) return "";
  if (file_state != IniFileState::kRead && file_state != IniFileState::kCut) return FileProblem();
  return "No IRC network is set up in " + Shown(path);
}

std::string NoServersProblem(const Config& config, std::string_view network) {
  return "Network " + text::WithoutControls(network) + " in " + Shown(config.path) + " lists no servers";
}

Config MakeConfig(std::string path, const IniContents& contents) {
  Config config;
  config.path = std::move(path);
  config.file_state = contents.state;
  config.general = MakeGeneral(contents.Find("general"));
  bool general_seen = false;
  for (const IniSection& section : contents.sections) {
    // Only the first section named general holds the settings; section names are distinct anyway.
    if (!general_seen && text::EqualsIgnoreCase(section.name, "general")) {
      general_seen = true;
      continue;
    }
    config.networks.push_back(MakeNetwork(section));
  }
  return config;
}

std::string TrimChannelList(std::string_view channels) {
  channels = text::TrimBlanks(channels);
  // The channels end at the first blank that is not next to a comma; the keys follow it.
  std::string out;
  out.reserve(channels.size());
  for (size_t i = 0; i < channels.size(); ++i) {
    const char c = channels[i];
    if (c == ' ' || c == '\t') {
      size_t next = i;
      while (next < channels.size() && (channels[next] == ' ' || channels[next] == '\t')) ++next;
      const bool before_comma = next < channels.size() && channels[next] == ',';
      const bool after_comma = !out.empty() && out.back() == ',';
      // A run of blanks next to a comma goes; any other run is one blank.
      if (!before_comma && !after_comma) out.push_back(' ');
      i = next - 1;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

ConfigFile::ConfigFile(std::string path) : ini_(std::move(path)) {
  Read();
}

const Config& ConfigFile::Current() {
  if (ReadStamp() != stamp_) Read();
  return config_;
}

const Config& ConfigFile::Reload() {
  const bool read_whole =
      config_.file_state == IniFileState::kRead || config_.file_state == IniFileState::kCut;
  if (!read_whole || !stamp_ || ReadStamp() != stamp_) Read();
  return config_;
}

void ConfigFile::Read() {
  stamp_ = ReadStamp();
  config_ = MakeConfig(ini_.Path(), ini_.ReadAll());
}

std::optional<ConfigFile::Stamp> ConfigFile::ReadStamp() const {
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(ini_.Path(), error);
  if (error) return std::nullopt;
  const auto modified = std::filesystem::last_write_time(ini_.Path(), error);
  if (error) return std::nullopt;
  return Stamp{size, static_cast<int64_t>(modified.time_since_epoch().count())};
}

}  // namespace irc
