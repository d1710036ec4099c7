// The door's configuration: the INI file read into one typed record, with what went wrong in
// reading it, for the start-up and every later use. /SERVERLIST reads the file again; any other use
// re-reads it only when the file has changed since, so that an edit still takes effect at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "irc/session/ini_file.h"
#include "irc/session/server_tls.h"
#include "text/caller_charset.h"
#include "text/network_charset.h"

namespace irc {

// Section [general].
struct GeneralConfig {
  std::string username;         // the caller's full name without a drop file
  std::string handle;           // the caller's handle without a drop file
  int idle_limit = 600;         // idletime, seconds; a value below 1 counts as unset
  int ctcp_delay = 10;          // ctcpdelay, seconds; a negative value counts as 0
  bool server_command = false;  // server: /SERVER allowed
  bool reconnect = true;        // a lost link is connected again on its own
  int connect_seconds = 30;     // connecttimeout; a value below 1 counts as unset
  text::CharsetChoice charset = text::CharsetChoice::kAuto;
  std::optional<bool> telnet;           // forced on or off; nullopt: decided by the kind of connection
  std::optional<std::string> sts_file;  // stsfile as written; nullopt when the key is missing
};

struct ServerEntry {
  std::string host;
  ServerPort port;
};

// One network section.
struct NetworkConfig {
  std::string name;
  std::vector<ServerEntry> servers;  // in file order
  std::string channels;              // JOIN parameters, without blanks around the commas
  bool pass = false;                 // the servers ask for a user name and password
  bool sasl = false;
  std::string webirc;
  text::NetworkCharset charset = text::NetworkCharset::kUtf8;
  TlsPolicy tls;
};

struct Config {
  std::string path;
  IniFileState file_state = IniFileState::kRead;
  GeneralConfig general;
  std::vector<NetworkConfig> networks;  // every section but the first [general], in file order

  // The network of that name (any case), or null.
  const NetworkConfig* FindNetwork(std::string_view name) const;
  // What keeps the file from being read whole, as a status line naming the file; empty when it
  // was read whole.
  std::string FileProblem() const;
  // Why no network can be chosen at all (the file's problem, or no network in it); empty when
  // there are networks.
  std::string NoNetworkProblem() const;
};

// The status line for a network that lists no servers.
std::string NoServersProblem(const Config& config, std::string_view network);

// The record of a file's contents.
Config MakeConfig(std::string path, const IniContents& contents);

// Blanks around the commas of a channel list left out: "#bbs, #help key" -> "#bbs,#help key".
std::string TrimChannelList(std::string_view channels);

// The INI file and its record.
class ConfigFile {
 public:
  explicit ConfigFile(std::string path);
  const std::string& Path() const { return ini_.Path(); }
  // The record, read again first when the file has changed since it was read.
  const Config& Current();
  // The record read again now (/SERVERLIST), unless the file was read whole and has not changed
  // since: a file that could not be read is always tried again.
  const Config& Reload();

 private:
  // What tells a changed file: its size and modification time (nullopt when it cannot be seen).
  struct Stamp {
    uintmax_t size = 0;
    int64_t modified = 0;
    bool operator==(const Stamp&) const = default;
  };
  std::optional<Stamp> ReadStamp() const;
  void Read();

  IniFile ini_;
  Config config_;
  std::optional<Stamp> stamp_;
};

}  // namespace irc
