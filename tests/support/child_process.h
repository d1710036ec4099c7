// A child process started by a test: a door, a server or a stand-in BBS. It is started with its
// arguments, environment, working directory and standard streams chosen here, and descriptors it
// inherits under their own numbers (a caller's socket); every wait is bounded, and the child is
// always reaped: a child still running when the object goes (a test that failed half-way) is
// killed with SIGKILL and waited for, so no test leaves a zombie or a stray process behind.
//
//   ChildProcess server;
//   ChildProcess::Options options;
//   options.argv = {"/usr/sbin/ngircd", "-n", "-f", conf};
//   options.out = options.err = ChildProcess::Stream::AppendTo(dir + "/ngircd.log");
//   ASSERT_TRUE(server.Start(std::move(options)));
//   ...
//   server.Stop(3000);  // SIGTERM, SIGKILL when it has not ended after 3 s
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
 public:
  // One standard stream of the child.
  struct Stream {
    enum class Kind { kInherit, kClosed, kDescriptor, kReadFile, kWriteFile, kAppendFile };
    Kind kind = Kind::kInherit;
    int fd = -1;
    std::string path;

    static Stream Inherit() { return {}; }
    // Left closed, as a careless BBS might leave it.
    static Stream Closed() { return {Kind::kClosed, -1, {}}; }
    // This descriptor of the test's (a pipe's end, a socket); the test keeps its own copy.
    static Stream Descriptor(int fd) { return {Kind::kDescriptor, fd, {}}; }
    static Stream ReadFrom(std::string path) { return {Kind::kReadFile, -1, std::move(path)}; }
    // The file is made or emptied.
    static Stream WriteTo(std::string path) { return {Kind::kWriteFile, -1, std::move(path)}; }
    static Stream AppendTo(std::string path) { return {Kind::kAppendFile, -1, std::move(path)}; }
  };

  struct Options {
    // argv[0] is the program's path (no search of PATH).
    std::vector<std::string> argv;
    // Changes to the test's environment: a value sets the variable, nullopt removes it.
    std::map<std::string, std::optional<std::string>> env;
    // Empty: the test's own.
    std::string working_dir;
    Stream in = Stream::ReadFrom("/dev/null");
    Stream out = Stream::Inherit();
    Stream err = Stream::Inherit();
    // Kept open in the child under their own numbers (they may be close-on-exec in the test).
    std::vector<int> inherit_fds;
    // A new session whose controlling terminal is this one (a pseudo-terminal's slave side); it is
    // then standard input, output and error, whatever in, out and err say.
    std::string controlling_terminal;
    // The child leads a process group of its own; signals and the last kill go to the whole group
    // (the child and what it started).
    bool own_process_group = false;
    // Runs as this user and group (the tests run as root).
    std::optional<uid_t> uid;
    std::optional<gid_t> gid;
    // No core file when it crashes.
    bool no_core_file = false;
  };

  // The exit code of a child ended by a signal is 128 + its number, as a shell tells it.
  static constexpr int kSignalBase = 128;
  // What WaitExit returns when the child had to be killed after its time.
  static constexpr int kKilled = -1;

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // False when the child could not be made or one is still running here. A stream, directory or
  // user that cannot be taken ends the child with 126, a program that cannot be run with 127.
  bool Start(Options options);

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }
  // Reaps the child when it has ended.
  bool Running();
  // Nothing once the child has been reaped (its number may be someone else's by then).
  void Signal(int sig);

  // Waits at most timeout_ms for the child to end, calling while_waiting (if any) every few
  // milliseconds: its exit code, or nullopt while it is still running.
  std::optional<int> WaitFor(int timeout_ms, const std::function<void()>& while_waiting = {});
  // As WaitFor, but a child still running after timeout_ms is killed: then kKilled.
  int WaitExit(int timeout_ms, const std::function<void()>& while_waiting = {});
  // SIGTERM, then SIGKILL when it has not ended within grace_ms: its exit code (kKilled when it
  // had to be killed); nullopt when no child had been started.
  std::optional<int> Stop(int grace_ms);
  // SIGKILL at once, and reaped.
  void Kill();
  // Once it has ended and been reaped; kKilled when WaitExit or Stop had to kill it.
  std::optional<int> exit_code() const { return exit_code_; }

 private:
  void Reaped(int status);
  void SendSignal(int sig);

  pid_t pid_ = -1;
  bool own_group_ = false;
  bool reaped_ = false;
  std::optional<int> exit_code_;
};

}  // namespace testsupport
