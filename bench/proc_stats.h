// What /proc tells about a running process: CPU time, voluntary context switches and memory.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace bench {

struct ProcStats {
  int64_t cpu_ns = 0;                // user + system time on the CPU
  int64_t voluntary_switches = 0;    // times the process gave the CPU up by waiting
  int64_t involuntary_switches = 0;  // times the scheduler took the CPU away
  int64_t rss_kb = 0;                // resident set now (VmRSS)
  int64_t peak_rss_kb = 0;           // highest resident set so far (VmHWM)
  // Written pages of this process alone, which no other process can share (smaps_rollup
  // Private_Dirty: heap, stacks, relocated library data).
  int64_t private_dirty_kb = 0;
  // Unwritten file pages that only this process maps at the moment (Private_Clean: library code no
  // other running process uses yet; shared as soon as a second door maps the same library).
  int64_t private_clean_kb = 0;
  int64_t pss_kb = 0;  // resident pages, each shared one divided among its sharers (Pss)
};

// Reads /proc/<pid>/schedstat (nanoseconds; /proc/<pid>/stat in clock ticks when it is missing)
// and /proc/<pid>/status. Fields that cannot be read stay 0.
ProcStats ReadProcStats(pid_t pid);

}  // namespace bench
