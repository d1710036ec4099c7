#include "door_fleet.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace bench {
namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;
constexpr size_t kTailBytes = 400;  // kept for a report on callers that never saw a text

DoorFleet::DoorFleet(std::string_view ini_contents, std::vector<std::string> extra_args)
    : folder_("zelkirc-fleet", ini_contents), extra_args_(std::move(extra_args)) {
  // Written back now: pages of a file still dirty in the page cache count as the private memory
  // of the one process that maps them.
  const int fd = open(folder_.binary().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    fdatasync(fd);
    close(fd);
  }
}

DoorFleet::~DoorFleet() {
  Stop(2000);
}

bool DoorFleet::StartOne(std::string_view handle_prefix) {
  const int node = static_cast<int>(doors_.size()) + 1;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  char number[16];
  std::snprintf(number, sizeof number, "%03d", node);
  // The drop file a BBS writes for the node: telnet socket, its descriptor, names, minutes left.
  const std::string node_dir = folder_.path() + "/node" + std::to_string(node);
  std::error_code ec;
  fs::create_directory(node_dir, ec);
  const std::string handle = std::string(handle_prefix) + number;
  const std::string drop_file = node_dir + "/DOOR32.SYS";
  std::ofstream(drop_file, std::ios::binary) << "2\r\n"
                                             << fds[0] << "\r\n115200\r\nBench BBS\r\n"
                                             << node << "\r\n"
                                             << handle << " Caller\r\n"
                                             << handle << "\r\n10\r\n600\r\n1\r\n"
                                             << node << "\r\n";
  testsupport::ChildProcess::Options options;
  options.argv = {folder_.binary()};
  options.argv.insert(options.argv.end(), extra_args_.begin(), extra_args_.end());
  options.argv.push_back("-D" + drop_file);
  options.out = options.err = testsupport::ChildProcess::Stream::WriteTo("/dev/null");
  options.inherit_fds = {fds[0]};
  testsupport::ChildProcess process;
  const bool started = process.Start(std::move(options));
  close(fds[0]);
  if (!started) {
    close(fds[1]);
    return false;
  }
  fcntl(fds[1], F_SETFL, O_NONBLOCK);
  pids_.push_back(process.pid());
  doors_.push_back({std::move(process), fds[1], {}, false, false});
  return true;
}

double DoorFleet::StartAll(int count, std::string_view handle_prefix, std::string_view needle, int in_flight,
                           int timeout_ms) {
  const auto start = SteadyClock::now();
  const auto deadline = start + std::chrono::milliseconds(timeout_ms);
  int done = 0;
  double last_ms = -1;
  while (done < count) {
    while (static_cast<int>(doors_.size()) < count && static_cast<int>(doors_.size()) - done < in_flight) {
      if (!StartOne(handle_prefix)) return -1;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    const int found = ReadCallers(needle, static_cast<int>(std::min<long>(left.count(), 100)));
    if (found > 0) {
      done += found;
      last_ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
    }
  }
  missing_ = static_cast<size_t>(count - done);
  return done == count ? last_ms : -1;
}

// The caller's terminal answers the door's charset probe (a cursor position request) at once, as
// a code page 437 terminal does: the cursor stands in column 4 after the three bytes EF BB BF.
void DoorFleet::AnswerProbe(Door& door) {
  if (door.probe_answered || door.tail.find("\x1b[6n") == std::string::npos) return;
  door.probe_answered = true;
  send(door.caller_fd, "\x1b[1;4R", 6, MSG_NOSIGNAL);
}

int DoorFleet::ReadCallers(std::string_view needle, int timeout_ms) {
  static char buffer[64 * 1024];
  std::vector<pollfd> fds;
  std::vector<Door*> waiting;
  for (Door& door : doors_) {
    if (door.found) continue;
    fds.push_back({door.caller_fd, POLLIN, 0});
    waiting.push_back(&door);
  }
  if (poll(fds.data(), fds.size(), timeout_ms) <= 0) return 0;
  int found = 0;
  for (size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents == 0) continue;
    Door& door = *waiting[i];
    for (;;) {
      const ssize_t n = recv(door.caller_fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n <= 0) break;
      if (door.found) continue;
      door.tail.append(buffer, static_cast<size_t>(n));
      AnswerProbe(door);
      if (door.tail.find(needle) != std::string::npos) {
        door.found = true;
        ++found;
      } else if (door.tail.size() > kTailBytes) {
        door.tail.erase(0, door.tail.size() - kTailBytes);
      }
    }
  }
  return found;
}

double DoorFleet::WaitAllFor(std::string_view needle, int timeout_ms) {
  const auto start = SteadyClock::now();
  const auto deadline = start + std::chrono::milliseconds(timeout_ms);
  for (Door& door : doors_) {
    door.found = false;
    door.tail.clear();
  }
  size_t done = 0;
  double last_ms = 0;
  while (done < doors_.size()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) break;
    const int found = ReadCallers(needle, static_cast<int>(std::min<long>(left.count(), 100)));
    if (found > 0) {
      done += static_cast<size_t>(found);
      last_ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count();
    }
  }
  missing_ = doors_.size() - done;
  return missing_ == 0 ? last_ms : -1;
}

std::string DoorFleet::MissingTails() const {
  std::string text;
  for (const Door& door : doors_) {
    if (door.found) continue;
    text += "node " + std::to_string(&door - doors_.data() + 1) + ": ";
    for (const char c : door.tail) text += c >= ' ' && c < 0x7F ? c : '.';
    text += "\n";
  }
  return text;
}

void DoorFleet::Drain() {
  char buffer[16 * 1024];
  for (Door& door : doors_) {
    while (recv(door.caller_fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
  }
}

ProcStats DoorFleet::Total() const {
  ProcStats total;
  for (const Door& door : doors_) {
    const ProcStats one = ReadProcStats(door.process.pid());
    total.cpu_ns += one.cpu_ns;
    total.voluntary_switches += one.voluntary_switches;
    total.involuntary_switches += one.involuntary_switches;
    total.rss_kb += one.rss_kb;
    total.peak_rss_kb += one.peak_rss_kb;
    total.private_dirty_kb += one.private_dirty_kb;
    total.private_clean_kb += one.private_clean_kb;
    total.pss_kb += one.pss_kb;
  }
  return total;
}

void DoorFleet::Stop(int timeout_ms) {
  for (Door& door : doors_) door.process.Signal(SIGTERM);
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (Door& door : doors_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    door.process.WaitExit(static_cast<int>(std::max<long>(left.count(), 0)));
    close(door.caller_fd);
  }
  doors_.clear();
  pids_.clear();
}

long RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return static_cast<long>(limit.rlim_cur);
}

}  // namespace bench
