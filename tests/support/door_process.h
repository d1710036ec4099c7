// The real zelkirc binary run as a BBS would run it: a copy of the binary in a fresh directory
// with its own INI file (the door reads the INI next to its own path), the caller handed over as
// an inherited socket descriptor, stdout and stderr captured to files (not a terminal).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/child_process.h"
#include "support/door_folder.h"
#include "support/sockets.h"

namespace testsupport {

class DoorProcess {
 public:
  // ini_contents empty: no INI file at all.
  explicit DoorProcess(std::string_view ini_contents = "");
  ~DoorProcess();
  DoorProcess(const DoorProcess&) = delete;
  DoorProcess& operator=(const DoorProcess&) = delete;

  const std::string& dir() const { return folder_.path(); }
  // Writes a file into the door's directory (e.g. a DOOR32.SYS) and returns its path.
  std::string WriteFile(std::string_view name, std::string_view contents);

  // Starts the door with a caller: one end of a socket pair (Unix-domain, or a TCP loopback pair
  // with tcp true) is passed down as -H<fd> after extra_args_before and before extra_args_after.
  void StartWithCaller(bool tcp = false, std::vector<std::string> args_before = {},
                       std::vector<std::string> args_after = {});
  // Starts the door with exactly these arguments. inherit_fd (if >= 0) is kept open in the child.
  // Standard input is stdin_path (/dev/null unless told otherwise).
  void Start(std::vector<std::string> args, int inherit_fd = -1, const std::string& stdin_path = "/dev/null");
  // Starts the door with exactly these arguments and these descriptors as its standard input,
  // output and error; -1 leaves that one closed, as a careless BBS might. inherit_fd (if >= 0) is
  // kept open in the child under its own number.
  void StartWithStandardStreams(std::vector<std::string> args, int in, int out, int err, int inherit_fd = -1);

  // The door's binary in dir(). Before Start, RunThrough makes the door run by another path to
  // it (a symbolic link elsewhere, as a BBS's door folder may hold).
  const std::string& binary() const { return binary_; }
  void RunThrough(std::string path) { binary_ = std::move(path); }

  // Before Start: the door runs as this user and group (the test runs as root), as a BBS that runs
  // its doors as another user than the one who installed them.
  void RunAs(unsigned uid, unsigned gid);

  // Waits for the process to end; returns its exit code, or -1 when it had to be killed after timeout_ms.
  int WaitExit(int timeout_ms);
  bool Running();
  void Signal(int sig);
  int pid() const { return child_.pid(); }

  // The caller's end of the connection.
  int caller_fd() const { return caller_fd_; }
  void CallerTypes(std::string_view bytes);
  // Reads what the door sends the caller until `needle` has arrived (true) or timeout_ms passes.
  bool CallerWaitFor(std::string_view needle, int timeout_ms);
  // Everything the caller has received so far (reads what is pending first).
  const std::string& CallerReceived();
  void CloseCaller();
  // The caller answers the door's login prompts with name and password, waiting at most
  // timeout_ms for each; false when one did not come.
  bool CallerLogsIn(std::string_view name, std::string_view password, int timeout_ms);
  // The caller's terminal answers the charset probe with this (empty: it stays silent). Set
  // before the door starts.
  std::string probe_answer{kCp437ProbeAnswer};
  // Text written to stdout (must stay empty: headless doors never write there).
  std::string Stdout() const;

 private:
  void Pump(int timeout_ms);
  void AwaitCharsetProbe();
  // The door's command line, keeping inherit_fd (if >= 0) open.
  ChildProcess::Options Options(std::vector<std::string> args, int inherit_fd) const;

  DoorFolder folder_;
  std::string binary_;
  int run_as_uid_ = -1;
  int run_as_gid_ = -1;
  ChildProcess child_;
  int caller_fd_ = -1;
  std::string received_;
  bool probe_answered_ = false;
};

// What the caller saw (CallerReceived), without the colour and cursor sequences.
std::string WithoutEscapes(std::string_view bytes);

}  // namespace testsupport
