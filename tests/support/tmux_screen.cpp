#include "support/tmux_screen.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace fs = std::filesystem;

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::string_view kDeadNote = "Pane is dead";

std::string RunShell(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status != nullptr) *status = -1;
    return out;
  }
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0) out.append(buf.data(), n);
  const int rc = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

bool TmuxScreen::Available() {
  int status = 0;
  RunShell("command -v tmux >/dev/null 2>&1", &status);
  return status == 0;
}

std::string TmuxScreen::Quote(std::string_view word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

TmuxScreen::TmuxScreen(int cols, int rows) : cols_(cols), rows_(rows) {
  char templ[] = "/tmp/zelkirc-tmux.XXXXXX";
  if (!mkdtemp(templ)) throw std::runtime_error("mkdtemp");
  dir_ = templ;
  socket_ = dir_ + "/tmux.sock";
  // The pane stays after its command ends, so that what the command left on the screen can be read.
  std::ofstream(dir_ + "/tmux.conf") << "set -g remain-on-exit on\nset -g history-limit 200\n";
}

TmuxScreen::~TmuxScreen() {
  if (server_.Running()) Tmux("kill-server");
  server_.Stop(2000);
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string TmuxScreen::Tmux(std::string_view args, int* status) {
  // Never the tmux of whoever runs the tests: its own server, its own settings.
  return RunShell("env -u TMUX tmux -S " + Quote(socket_) + " -f " + Quote(dir_ + "/tmux.conf") + " " +
                      std::string(args) + " 2>/dev/null",
                  status);
}

const std::string& TmuxScreen::InstallDoor(std::optional<std::string_view> ini_contents) {
  door_.emplace("zelkirc-console", ini_contents);
  return door_->binary();
}

bool TmuxScreen::StartServer() {
  // In the foreground, as this process's child (a daemon would end as nobody's zombie): its
  // socket is there once it listens.
  ChildProcess::Options options;
  options.argv = {"/bin/sh", "-c", "exec tmux -D -S " + Quote(socket_) + " -f " + Quote(dir_ + "/tmux.conf")};
  options.env["TMUX"] = std::nullopt;
  options.out = options.err = ChildProcess::Stream::WriteTo("/dev/null");
  if (!server_.Start(std::move(options))) return false;
  const auto deadline = SteadyClock::now() + std::chrono::seconds(5);
  while (access(socket_.c_str(), F_OK) != 0) {
    if (!server_.Running() || SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

bool TmuxScreen::Run(std::string_view command) {
  if (!server_.Running() && !StartServer()) return false;
  int status = 0;
  Tmux("new-session -d -s door -x " + std::to_string(cols_) + " -y " + std::to_string(rows_) + " -c " +
           Quote(dir_) + " " + Quote("TERM=screen exec " + std::string(command)),
       &status);
  return status == 0;
}

std::vector<std::string> TmuxScreen::Rows() {
  std::vector<std::string> rows = SplitLines(Tmux("capture-pane -p -t door"));
  for (std::string& row : rows) row.erase(row.find_last_not_of(' ') + 1);
  return rows;
}

std::string TmuxScreen::Contents() {
  std::string out;
  for (const std::string& line : SplitLines(Tmux("capture-pane -p -S - -t door"))) {
    if (line.find(kDeadNote) != std::string::npos) continue;
    out += line;
    out += '\n';
  }
  return out;
}

bool TmuxScreen::WaitUntil(const std::function<bool(const std::vector<std::string>&)>& test, int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (test(Rows())) return true;
    if (SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
}

bool TmuxScreen::WaitFor(std::string_view needle, int timeout_ms) {
  return WaitUntil(
      [needle](const std::vector<std::string>& rows) {
        for (const std::string& row : rows) {
          if (row.find(needle) != std::string::npos) return true;
        }
        return false;
      },
      timeout_ms);
}

bool TmuxScreen::Resize(int cols, int rows) {
  int status = 0;
  Tmux("resize-window -t door -x " + std::to_string(cols) + " -y " + std::to_string(rows), &status);
  if (status == 0) {
    cols_ = cols;
    rows_ = rows;
  }
  return status == 0;
}

void TmuxScreen::Type(std::string_view text) {
  Tmux("send-keys -t door -l " + Quote(text));
}

int TmuxScreen::ExitStatus() {
  const std::string out = Tmux("display-message -p -t door '#{pane_dead} #{pane_dead_status}'");
  if (out.rfind("1 ", 0) != 0) return -1;
  return std::atoi(out.c_str() + 2);
}

bool TmuxScreen::WaitForExit(int timeout_ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (ExitStatus() >= 0) return true;
    if (SteadyClock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
}

}  // namespace testsupport
