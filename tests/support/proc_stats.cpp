#include "support/proc_stats.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

namespace {

// A "Name:   123 kB" field of /proc/<pid>/status.
long StatusKib(int pid, const std::string& name) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(name + ":", 0) == 0) return std::stol(line.substr(name.size() + 1));
  }
  return -1;
}

}  // namespace

long PeakRssKib(int pid) {
  return StatusKib(pid, "VmHWM");
}

long AddressSpaceKib(int pid) {
  return StatusKib(pid, "VmSize");
}

bool LimitAddressSpace(int pid, long kib) {
  const rlimit limit{static_cast<rlim_t>(kib) * 1024, static_cast<rlim_t>(kib) * 1024};
  return prlimit(pid, RLIMIT_AS, &limit, nullptr) == 0;
}

int64_t CpuMicros(int pid) {
  const int64_t ns = CpuNanos(pid);
  return ns < 0 ? -1 : ns / 1000;
}

int64_t CpuNanos(int pid) {
  // First field: nanoseconds spent running.
  std::ifstream sched("/proc/" + std::to_string(pid) + "/schedstat");
  int64_t ns = 0;
  if (sched >> ns) return ns;
  // Without scheduler statistics: user plus system time in clock ticks, fields 14 and 15 of stat.
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(in, stat)) return -1;
  // The command name in brackets may hold blanks; fields are counted after its ')'.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string skip;
  for (int field = 3; field < 14; ++field) fields >> skip;
  int64_t utime = 0, stime = 0;
  fields >> utime >> stime;
  if (!fields) return -1;
  return (utime + stime) * (1'000'000'000 / sysconf(_SC_CLK_TCK));
}

}  // namespace testsupport
