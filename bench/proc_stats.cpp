#include "proc_stats.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "support/proc_stats.h"

namespace bench {
namespace {

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int64_t StatusField(const std::string& status, const std::string& name) {
  const size_t at = status.find(name + ":");
  if (at == std::string::npos) return 0;
  return std::stoll(status.substr(at + name.size() + 1));
}

}  // namespace

ProcStats ReadProcStats(pid_t pid) {
  ProcStats stats;
  const std::string base = "/proc/" + std::to_string(pid);
  stats.cpu_ns = std::max<int64_t>(testsupport::CpuNanos(pid), 0);
  const std::string status = ReadWhole(base + "/status");
  stats.voluntary_switches = StatusField(status, "\nvoluntary_ctxt_switches");
  stats.involuntary_switches = StatusField(status, "nonvoluntary_ctxt_switches");
  stats.rss_kb = StatusField(status, "VmRSS");
  stats.peak_rss_kb = StatusField(status, "VmHWM");
  const std::string rollup = ReadWhole(base + "/smaps_rollup");
  stats.private_dirty_kb = StatusField(rollup, "Private_Dirty");
  stats.private_clean_kb = StatusField(rollup, "Private_Clean");
  stats.pss_kb = StatusField(rollup, "\nPss");
  return stats;
}

}  // namespace bench
