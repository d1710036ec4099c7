// Figures of a running process from /proc, for the tests that bound memory or measure CPU and for
// the benchmark: the one reader of /proc.
#pragma once

#include <cstdint>

namespace testsupport {

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

// Reads /proc/<pid>/schedstat (nanoseconds; /proc/<pid>/stat in clock ticks when it is missing),
// /proc/<pid>/status and /proc/<pid>/smaps_rollup. Fields that cannot be read stay 0.
ProcStats ReadProcStats(int pid);

// Peak resident set size (VmHWM) in KiB, or -1 when the process is gone.
long PeakRssKib(int pid);
// CPU time used so far by all threads, in microseconds (from the scheduler's own count, which is
// finer than the clock ticks of /proc/<pid>/stat), or -1 when the process is gone.
int64_t CpuMicros(int pid);
// The same in nanoseconds, as the scheduler counts it (clock-tick resolution without it).
int64_t CpuNanos(int pid);
// Address space in use (VmSize) in KiB, or -1 when the process is gone.
long AddressSpaceKib(int pid);
// Limits the address space of a running process (RLIMIT_AS, as `ulimit -v` would); false on error.
bool LimitAddressSpace(int pid, long kib);

}  // namespace testsupport
