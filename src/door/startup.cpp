#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "door/caller_plan.h"
#include "door/command_line.h"
#include "door/door.h"
#include "door/drop_file.h"
#include "door/program_end.h"
#include "platform/caller_terminal.h"
#include "platform/caller_transports.h"
#include "platform/console.h"
#include "platform/process.h"

namespace door {
namespace {

// A drop file is a few hundred bytes; nothing past this is ever needed.
constexpr std::streamsize kMaxDropFileBytes = 64 * 1024;

// What the file named by -D holds. Only a regular file is read: opening a pipe named (or linked)
// as the drop file would wait for a writer for ever.
DropFileText ReadDropFileText(const CommandLine& line) {
  DropFileText drop_file;
  if (line.drop_file_path.empty()) return drop_file;
  const std::string& path = line.drop_file_path;
  std::error_code error;
  drop_file.exists = std::filesystem::exists(path, error);
  if (!std::filesystem::is_regular_file(path, error)) return drop_file;
  std::ifstream file(path, std::ios::binary);
  if (!file) return drop_file;
  std::string contents(static_cast<size_t>(kMaxDropFileBytes), '\0');
  file.read(contents.data(), kMaxDropFileBytes);
  contents.resize(static_cast<size_t>(file.gcount()));
  drop_file.text = std::move(contents);
  return drop_file;
}

CallerPlan PlanFor(const CommandLine& line, const Visit& defaults) {
  return PlanCaller(line, ReadDropFileText(line), defaults);
}

std::string BaseName(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

void Door::DoorStart() {
  const CommandLine line = ParseCommandLine(env_.args);
  // The visit's time counts from here in local mode too (the status line's time shows it).
  timers.session_start = MonotonicMs();
  CallerPlan plan = PlanFor(line, visit);
  switch (plan.start) {
    case CallerStart::kUsage:
      ShowUsage();
      Present();
      EndProgram();
    case CallerStart::kBadCommandLine:
      EndWithBadCommandLine(plan, line);
    case CallerStart::kEnd:
      EndWithLocalMessage(plan.message);
    case CallerStart::kLocal:
      if (on_local_login) on_local_login();
      break;
    case CallerStart::kCaller:
    case CallerStart::kNoCaller:
      visit = std::move(plan.visit);
      break;
  }
  if (!line.caller_name.empty() && !(plan.names_from_drop_file && !visit.user_handle.empty())) {
    visit.user_handle = line.caller_name;
    visit.user_real_name = line.caller_name;
  }
  if (line.charset) visit.charset_choice = *line.charset;
  if (plan.start == CallerStart::kCaller) {
    TakeOverCaller(plan.hand_over, line);
    return;
  }
  // Local mode: row 25 is the status line's as in a visit, so that nothing typed or scrolled
  // touches it; with a sysop's terminal the tick keeps its clock running (it checks nothing else).
  platform::Console& console = env_.console;
  const int column = console.WhereX();
  const int row = std::min(console.WhereY(), 24);
  console.SetWindow(1, 1, 80, 24);
  console.GotoXY(column, row);
  timers.status_only = env_.terminal != nullptr;
  timers.last_tick = MonotonicMs() - 1000;
}

bool CallerOnStandardStreams(std::span<const std::string> args) {
  return PlanFor(ParseCommandLine(args), Visit{}).OnStandardStreams();
}

void Door::ShowUsage() {
  platform::Console& console = env_.console;
  const std::string name = BaseName(env_.program_path);
  const std::string drop_file(platform::ExampleDropFilePath());
  console.ClrScr();
  // Up to 24 lines fit on the console without scrolling, and on a 24-row terminal from "USAGE:" on.
  // -? and --help, which show this screen, are not listed on it.
  std::vector<std::string> lines = {"", "USAGE:", "", name + " <PARAMETERS>", ""};
  for (const CommandLineOption& option : CommandLineOptions()) {
    if (option.meaning.empty() || (option.available != nullptr && !option.available())) continue;
    std::string line = "  " + std::string(option.argument);
    line.resize(13, ' ');
    lines.push_back(line + std::string(option.meaning));
  }
  const std::string examples[] = {
      "",
      "Examples:",
      "",
      name + " -L",
      "  -  Run In Local Mode",
      name + " -H1000 -N3",
      "  -  Open Socket Number 1000 On Node #3",
      name + " -D" + drop_file,
      "  -  Load Settings From DOOR32.SYS",
  };
  lines.insert(lines.end(), std::begin(examples), std::end(examples));
  std::string plain;
  for (const std::string& text : lines) {
    console.Write(text);
    console.Write("\r\n");
    plain += text + "\n";
  }
  // Without a terminal to show it on, the usage text goes to standard output as plain text.
  if (env_.terminal == nullptr) platform::WriteStandardOutput(plain);
}

void Door::TakeOverCaller(HandOver hand_over, const CommandLine& line) {
  std::unique_ptr<platform::Transport> transport;
  bool owns = false;
  switch (hand_over) {
    case HandOver::kSocket:
      // Handle 0 that is no socket is standard input (a BBS that runs its doors on a terminal).
      transport = visit.caller_socket == 0 && !platform::IsSocket(0)
                      ? platform::AdoptStdio()
                      : platform::AdoptSocket(visit.caller_socket);
      break;
    case HandOver::kStdio:
      transport = platform::AdoptStdio();
      break;
    case HandOver::kConnectPort:
      transport = platform::ConnectLoopbackPort(line.connect_port);
      owns = true;
      break;
    case HandOver::kConnectPath:
      transport = platform::ConnectUnixPath(line.connect_path);
      owns = true;
      break;
    case HandOver::kNone:
      break;
  }
  const int read_fd = transport ? transport->Fd() : -1;
  const bool telnet =
      visit.telnet == TelnetMode::kOn || (visit.telnet == TelnetMode::kAuto && platform::IsSocket(read_fd));
  // A caller on a terminal types into it: one key at a time, echoed by the door alone.
  caller_terminal_ = platform::MakeCallerTerminalRaw(read_fd);
  if (!caller.AdoptTransport(std::move(transport), owns, telnet))
    EndWithLocalMessage("  No Carrier Detected");
  ChooseCallerCharset();
  DoorClearScreen();
  env_.console.SetWindow(1, 1, 80, 24);
  timers.idle_start = MonotonicMs();
  timers.active = true;
  timers.last_tick = MonotonicMs() - 1000;
  timers.session_start = MonotonicMs();
}

void Door::EndWithLocalMessage(std::string_view message) {
  platform::Console& console = env_.console;
  console.ClrScr();
  console.Write("\r\n");
  console.Write(message);
  console.Write("\r\n\r\n");
  Delay(1500);
  EndProgram();
}

void Door::EndWithBadCommandLine(const CallerPlan& plan, const CommandLine& line) {
  // The caller, when the rest of the command line reaches one, is told as well as the sysop.
  if (plan.hand_over == HandOver::kNone) EndWithLocalMessage(plan.message);
  visit.comm_type = plan.visit.comm_type;
  visit.caller_socket = plan.visit.caller_socket;
  TakeOverCaller(plan.hand_over, line);
  DoorNewLine();
  DoorWriteLn(plan.message);
  Delay(1500);
  EndProgram();
}

void Door::DefaultLocalLogin() {
  platform::Console& console = env_.console;
  console.ClrScr();
  console.Write("\r\n  LOCAL LOGIN\r\n\r\n\r\n  Enter your name : ");
  const std::string name =
      DoorInputLine("SYSOP", "qwertyuiopasdfghjklzxcvbnmQWERTYUIOPASDFGHJKLZXCVBNM", 0, 40, 40, 0x1F);
  visit.user_real_name = name;
  visit.user_handle = name;
}

}  // namespace door
