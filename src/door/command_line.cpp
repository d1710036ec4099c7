#include "door/command_line.h"

#include <charconv>

#include "door/text_helpers.h"
#include "platform/caller_transports.h"

namespace door {
namespace {

// A caller's name comes from the BBS's user record: no control byte of it may reach an IRC line
// or a terminal.
std::string WithoutControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) out.push_back(c);
  }
  return out;
}

constexpr CommandLineOption kOptions[] = {
    {'D', "-D", "PATH/FILENAME OF DOOR32.SYS",
     [](CommandLine& line, std::string_view value) {
       line.drop_file_path = value;
       line.drop_file_named = true;
       line.local_mode = false;
     }},
    {'H', "-H", "SOCKET HANDLE",
     [](CommandLine& line, std::string_view value) {
       line.socket_handle = ParseDecimal(value).value_or(-1);
       line.hand_over = HandOver::kSocket;
       line.local_mode = false;
     }},
    {'L', "-L", "ENABLE LOCAL MODE", [](CommandLine& line, std::string_view) { line.local_mode = true; }},
    {'N', "-N", "NODE NUMBER",
     [](CommandLine& line, std::string_view value) { line.node = ParseDecimal(value).value_or(0); }},
    {'S', "-S", "CALLER ON STANDARD INPUT/OUTPUT",
     [](CommandLine& line, std::string_view) {
       line.hand_over = HandOver::kStdio;
       line.local_mode = false;
     },
     platform::StdioCallersAvailable},
    {'P', "-P", "CONNECT TO CALLER AT 127.0.0.1 PORT",
     [](CommandLine& line, std::string_view value) {
       line.connect_port = ParseDecimal(value).value_or(-1);
       line.hand_over = HandOver::kConnectPort;
       line.local_mode = false;
     }},
    {'U', "-U", "CONNECT TO CALLER AT UNIX SOCKET PATH",
     [](CommandLine& line, std::string_view value) {
       line.connect_path = value;
       line.hand_over = HandOver::kConnectPath;
       line.local_mode = false;
     },
     platform::UnixPathCallersAvailable},
    {'A', "-A", "CALLER'S HANDLE (WITHOUT A DROP FILE)",
     [](CommandLine& line, std::string_view value) { line.caller_name = WithoutControls(value); }},
    {'I', "-I", "CALLER'S IP ADDRESS (FOR WEBIRC)",
     [](CommandLine& line, std::string_view value) { line.caller_address = value; }},
    {'C', "-C", "CALLER'S CHARSET: AUTO (DEFAULT), UTF-8, CP437 OR US-ASCII",
     [](CommandLine& line, std::string_view value) {
       if (const auto choice = text::ParseCharsetChoice(value)) line.charset = choice;
     }},
    {'?', "-?", "", [](CommandLine& line, std::string_view) { line.usage_wanted = true; }},
    {'-', "--help", "", [](CommandLine& line, std::string_view) { line.usage_wanted = true; }},
};

}  // namespace

std::span<const CommandLineOption> CommandLineOptions() {
  return kOptions;
}

CommandLine ParseCommandLine(std::span<const std::string> args) {
  CommandLine line;
  for (const std::string& arg : args) {
    if (arg.size() < 2) continue;
    // The first character is the switch, whatever it is.
    char letter = arg[1];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    const std::string_view value = std::string_view(arg).substr(2);
    for (const CommandLineOption& option : kOptions) {
      if (option.letter == letter) {
        option.apply(line, value);
        break;
      }
    }
  }
  return line;
}

}  // namespace door
