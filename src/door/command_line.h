// The door's command line: an option is an argument that starts with the switch character '-' or
// '/', then the option letter in either case and its value attached without a space. An argument
// without a switch character continues the value of the option before it, after one blank, the way
// a BBS that passes a value unquoted splits it ("-AMary Sue" is the handle "Mary Sue"). The options
// are one table, which the usage screen lists too.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "text/caller_charset.h"

namespace door {

// How the caller reaches the door, as the command line names it.
enum class HandOver : uint8_t {
  kNone,
  kSocket,       // -H: an inherited descriptor
  kStdio,        // -S: standard input and output
  kConnectPort,  // -P: the door connects to 127.0.0.1:port
  kConnectPath,  // -U: the door connects to a Unix-domain socket path
};

struct CommandLine {
  std::string drop_file_path;
  int socket_handle = -1;
  bool usage_wanted = false;
  bool local_mode = true;        // the last of -D, -H, -L, -S, -P and -U decides
  bool drop_file_named = false;  // some -D was given, whatever followed it
  int node = 0;
  HandOver hand_over = HandOver::kNone;  // the last of -H, -S, -P and -U
  int connect_port = -1;                 // -P; -1 when not a number
  std::string connect_path;              // -U
  std::string caller_name;               // -A, control characters removed
  std::string caller_address;            // -I: the caller's IP address, for WEBIRC
  // -C: the caller's charset as the BBS knows it (UTF-8, CP437, US-ASCII); unknown names are
  // ignored.
  std::optional<text::CharsetChoice> charset;
  // The first option that needs a number (-H, -N, -P) and was given none, as the sysop is told:
  // empty when every such option has its number.
  std::string bad_number;
};

struct CommandLineOption {
  char letter;                // upper case; '-' stands for every long option (--help, --anything)
  std::string_view argument;  // on the usage screen: "-D"
  std::string_view meaning;   // on the usage screen; empty: not listed there
  void (*apply)(CommandLine& line, std::string_view value);
  bool (*available)() = nullptr;  // listed only when this says so; null: always
};

// Every option, in the order the usage screen lists them.
std::span<const CommandLineOption> CommandLineOptions();

CommandLine ParseCommandLine(std::span<const std::string> args);

}  // namespace door
