#include "proc_stats.h"

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

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
  const std::string schedstat = ReadWhole(base + "/schedstat");
  if (!schedstat.empty()) {
    stats.cpu_ns = std::stoll(schedstat);
  } else {
    // Fields 14 and 15 (utime, stime) follow the command name, which is in parentheses.
    const std::string stat = ReadWhole(base + "/stat");
    const size_t paren = stat.rfind(')');
    if (paren != std::string::npos) {
      std::istringstream fields(stat.substr(paren + 2));
      std::string field;
      int64_t utime = 0, stime = 0;
      for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoll(field);
        if (i == 15) stime = std::stoll(field);
      }
      stats.cpu_ns = (utime + stime) * (1'000'000'000 / sysconf(_SC_CLK_TCK));
    }
  }
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
