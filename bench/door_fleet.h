// Many doors at once, as a BBS with many nodes runs them: one installed binary with one INI file,
// one process per node started with -D<node dir>/DOOR32.SYS, the drop file naming the node's
// caller socket (an inherited descriptor) and its handle.
// The callers' sides are read together; every wait is bounded.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "support/child_process.h"
#include "support/door_folder.h"
#include "support/proc_stats.h"

namespace bench {

using testsupport::ProcStats;
using testsupport::ReadProcStats;

class DoorFleet {
 public:
  // ini_contents: the INI file next to the binary; extra_args go before -D on every command line.
  explicit DoorFleet(std::string_view ini_contents, std::vector<std::string> extra_args = {});
  ~DoorFleet();
  DoorFleet(const DoorFleet&) = delete;
  DoorFleet& operator=(const DoorFleet&) = delete;

  // Starts count doors, node numbers 1..count, handles handle_prefix + a three-digit number, and
  // reads their callers until each has received needle (the channel prompt once joined). At most
  // in_flight doors are on their way at once: an IRC server accepts a few connections at a time
  // (ngircd listens with a backlog of 10), and a burst of connects beyond that loses some on
  // loopback. The milliseconds from the first exec until the last caller had needle, or -1 after
  // timeout_ms (missing() tells how many never had it).
  double StartAll(int count, std::string_view handle_prefix, std::string_view needle, int in_flight,
                  int timeout_ms);
  // Starts the next node's door and returns at once; false when it could not be started.
  bool StartOne(std::string_view handle_prefix);
  size_t size() const { return doors_.size(); }
  const std::vector<pid_t>& pids() const { return pids_; }

  // Reads every caller until each has received needle (counting from this call): the milliseconds
  // until the last caller had it, or -1 after timeout_ms (missing() tells how many never saw it).
  double WaitAllFor(std::string_view needle, int timeout_ms);
  size_t missing() const { return missing_; }
  // The last bytes each of those callers received (for a report).
  std::string MissingTails() const;
  // Reads and drops whatever the callers have now.
  void Drain();

  // Sums of what /proc tells about every door now.
  ProcStats Total() const;
  // Ends every door (SIGTERM, then SIGKILL after timeout_ms) and waits for it.
  void Stop(int timeout_ms);

 private:
  struct Door {
    testsupport::ChildProcess process;
    int caller_fd = -1;
    std::string tail;  // the last bytes read, for a needle split across reads
    bool found = false;
    bool probe_answered = false;
  };

  static void AnswerProbe(Door& door);
  // One poll over the callers still waiting for needle: how many had it by now.
  int ReadCallers(std::string_view needle, int timeout_ms);

  testsupport::DoorFolder folder_;
  std::vector<std::string> extra_args_;
  std::vector<Door> doors_;
  std::vector<pid_t> pids_;
  size_t missing_ = 0;
};

// Raises the soft limit of open descriptors to the hard limit (the benchmark holds one caller
// socket per door, and the servers it starts inherit the limit); returns the new soft limit.
long RaiseDescriptorLimit();

}  // namespace bench
