#include "support/proc_stats.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace testsupport {

namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// A "Name:   123 kB" field of a /proc file's text (status, smaps_rollup), or -1.
int64_t Field(const std::string& text, const std::string& name) {
  const std::string key = name + ":";
  for (size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += key.size()) {
    if (at == 0 || text[at - 1] == '\n') return std::stoll(text.substr(at + key.size()));
  }
  return -1;
}

long StatusKib(int pid, const std::string& name) {
  return static_cast<long>(Field(ReadWhole("/proc/" + std::to_string(pid) + "/status"), name));
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

ProcStats ReadProcStats(int pid) {
  ProcStats stats;
  const std::string base = "/proc/" + std::to_string(pid);
  auto at_least_0 = [](int64_t value) { return value < 0 ? 0 : value; };
  stats.cpu_ns = at_least_0(CpuNanos(pid));
  const std::string status = ReadWhole(base + "/status");
  stats.voluntary_switches = at_least_0(Field(status, "voluntary_ctxt_switches"));
  stats.involuntary_switches = at_least_0(Field(status, "nonvoluntary_ctxt_switches"));
  stats.rss_kb = at_least_0(Field(status, "VmRSS"));
  stats.peak_rss_kb = at_least_0(Field(status, "VmHWM"));
  const std::string rollup = ReadWhole(base + "/smaps_rollup");
  stats.private_dirty_kb = at_least_0(Field(rollup, "Private_Dirty"));
  stats.private_clean_kb = at_least_0(Field(rollup, "Private_Clean"));
  stats.pss_kb = at_least_0(Field(rollup, "Pss"));
  return stats;
}

}  // namespace testsupport
