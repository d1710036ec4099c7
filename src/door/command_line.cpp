#include "door/command_line.h"

#include <charconv>
#include <utility>
#include <vector>

#include "platform/caller_transports.h"
#include "text/ascii.h"

namespace door {
namespace {

// The value of an option that needs a number; a value that is none leaves the first such complaint
// for the sysop and gives nullopt.
std::optional<int> NumberFor(CommandLine& line, std::string_view option, std::string_view value) {
  if (const std::optional<int> number = text::ParseDecimal(value)) return number;
  if (line.bad_number.empty()) {
    const std::string name(option);
    if (value.empty()) {
      line.bad_number = "Option " + name + " Needs A Number";
    } else if (const std::optional<int> apart = text::ParseDecimal(text::TrimBlanks(value))) {
      line.bad_number = "Option " + name + " Needs Its Number Attached: " + name + std::to_string(*apart) +
                        ", Not " + name + " " + std::to_string(*apart);
    } else {
      line.bad_number = "Option " + name + " Needs A Number, Not \"" + text::WithoutControls(value) + "\"";
    }
  }
  return std::nullopt;
}

bool IsOption(std::string_view arg) {
  return arg.size() >= 2 && (arg.front() == '-' || arg.front() == '/');
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
       line.socket_handle = NumberFor(line, "-H", value).value_or(-1);
       line.hand_over = HandOver::kSocket;
       line.local_mode = false;
     }},
    {'L', "-L", "ENABLE LOCAL MODE", [](CommandLine& line, std::string_view) { line.local_mode = true; }},
    {'N', "-N", "NODE NUMBER",
     [](CommandLine& line, std::string_view value) { line.node = NumberFor(line, "-N", value).value_or(0); }},
    {'S', "-S", "CALLER ON STANDARD INPUT/OUTPUT",
     [](CommandLine& line, std::string_view) {
       line.hand_over = HandOver::kStdio;
       line.local_mode = false;
     },
     platform::StdioCallersAvailable},
    {'P', "-P", "CONNECT TO CALLER AT 127.0.0.1 PORT",
     [](CommandLine& line, std::string_view value) {
       line.connect_port = NumberFor(line, "-P", value).value_or(-1);
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
     [](CommandLine& line, std::string_view value) { line.caller_name = text::WithoutControls(value); }},
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
  // Each option with its value, the words that continue it included; an unknown letter keeps its
  // place (null), so that the words after it do not continue the option before.
  std::vector<std::pair<const CommandLineOption*, std::string>> given;
  for (const std::string& arg : args) {
    if (!IsOption(arg)) {
      // A word before the first option continues nothing.
      if (!given.empty()) given.back().second += " " + arg;
      continue;
    }
    char letter = arg[1];
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    const CommandLineOption* found = nullptr;
    for (const CommandLineOption& option : kOptions) {
      if (option.letter == letter) {
        found = &option;
        break;
      }
    }
    given.emplace_back(found, arg.substr(2));
  }
  CommandLine line;
  for (const auto& [option, value] : given) {
    if (option != nullptr) option->apply(line, value);
  }
  return line;
}

}  // namespace door
