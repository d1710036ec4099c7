// Figures of a running process from /proc, for tests that bound memory or measure CPU.
#pragma once

#include <cstdint>

namespace testsupport {

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
