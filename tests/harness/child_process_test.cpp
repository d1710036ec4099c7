// The child-process helper every door, server and BBS of the tests is started with: exit codes,
// the child's streams, arguments, environment and directory, the bounded stop of a child that
// ignores SIGTERM, and no child left behind by an object that goes.
#include "support/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {
namespace {

namespace fs = std::filesystem;
using Stream = ChildProcess::Stream;

ChildProcess::Options Program(std::vector<std::string> argv) {
  ChildProcess::Options options;
  options.argv = std::move(argv);
  return options;
}

ChildProcess::Options Shell(std::string script) {
  return Program({"/bin/sh", "-c", std::move(script)});
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Ended: no such process, or a zombie whose parent (here, PID 1) has not reaped it yet.
bool Gone(pid_t pid) {
  if (kill(pid, 0) != 0) return errno == ESRCH;
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t state = stat.rfind(") ");
  return state != std::string::npos && stat[state + 2] == 'Z';
}

class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/zelk-child.XXXXXX";
    if (mkdtemp(templ) != nullptr) path_ = templ;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(ChildProcess, ExitCodes) {
  struct Case {
    std::string script;
    int code;
  } cases[] = {
      {"exit 0", 0},
      {"exit 3", 3},
      {"kill -TERM $$", ChildProcess::kSignalBase + SIGTERM},
      {"kill -KILL $$", ChildProcess::kSignalBase + SIGKILL},
  };
  for (const Case& c : cases) {
    ChildProcess child;
    ASSERT_TRUE(child.Start(Shell(c.script)));
    EXPECT_EQ(child.WaitExit(5000), c.code) << c.script;
    EXPECT_EQ(child.exit_code(), c.code) << c.script;
    EXPECT_FALSE(child.Running());
  }

  ChildProcess missing;
  ASSERT_TRUE(missing.Start(Program({"/nonexistent/program"})));
  EXPECT_EQ(missing.WaitExit(5000), 127);

  ChildProcess no_input;
  ChildProcess::Options options = Shell("exit 0");
  options.in = Stream::ReadFrom("/nonexistent/input");
  ASSERT_TRUE(no_input.Start(std::move(options)));
  EXPECT_EQ(no_input.WaitExit(5000), 126);

  ChildProcess empty;
  EXPECT_FALSE(empty.Start({}));
  EXPECT_FALSE(empty.Stop(100).has_value());
}

TEST(ChildProcess, GivesTheChildItsStreamsArgumentsEnvironmentAndDirectory) {
  TempDir dir;
  std::ofstream(dir.path() + "/in.txt") << "typed line\n";
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  setenv("ZELK_CHILD_GONE", "still here", 1);

  ChildProcess::Options options = Shell(
      "read line; echo \"$line|$1|$ZELK_CHILD_SET|${ZELK_CHILD_GONE-unset}|$(pwd)\"; echo oops >&2;"
      " echo handed >&" +
      std::to_string(pipe_fds[1]));
  options.argv.push_back("name");
  options.argv.push_back("first argument");
  options.env = {{"ZELK_CHILD_SET", "set"}, {"ZELK_CHILD_GONE", std::nullopt}};
  options.working_dir = dir.path();
  options.in = Stream::ReadFrom(dir.path() + "/in.txt");
  options.out = Stream::WriteTo(dir.path() + "/out.txt");
  options.err = Stream::AppendTo(dir.path() + "/err.txt");
  options.inherit_fds = {pipe_fds[1]};
  std::ofstream(dir.path() + "/err.txt") << "before\n";
  ChildProcess child;
  ASSERT_TRUE(child.Start(std::move(options)));
  close(pipe_fds[1]);
  EXPECT_EQ(child.WaitExit(5000), 0);
  unsetenv("ZELK_CHILD_GONE");

  EXPECT_EQ(ReadFile(dir.path() + "/out.txt"), "typed line|first argument|set|unset|" + dir.path() + "\n");
  EXPECT_EQ(ReadFile(dir.path() + "/err.txt"), "before\noops\n");
  char buf[16] = {};
  EXPECT_EQ(read(pipe_fds[0], buf, sizeof buf - 1), 7);
  EXPECT_STREQ(buf, "handed\n");
  close(pipe_fds[0]);
}

TEST(ChildProcess, ClosedAndHandedStandardStreams) {
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  // Output to the pipe, error closed: the shell sees no descriptor 2 and says so on 1.
  ChildProcess::Options options = Shell("if [ -e /proc/$$/fd/2 ]; then echo open; else echo closed; fi");
  options.in = Stream::Closed();
  options.out = Stream::Descriptor(pipe_fds[1]);
  options.err = Stream::Closed();
  ChildProcess child;
  ASSERT_TRUE(child.Start(std::move(options)));
  close(pipe_fds[1]);
  EXPECT_EQ(child.WaitExit(5000), 0);
  char buf[16] = {};
  EXPECT_GT(read(pipe_fds[0], buf, sizeof buf - 1), 0);
  EXPECT_STREQ(buf, "closed\n");
  close(pipe_fds[0]);
}

TEST(ChildProcess, WaitForIsBoundedAndKeepsTheTestBusy) {
  ChildProcess child;
  ASSERT_TRUE(child.Start(Program({"/bin/sleep", "30"})));
  int calls = 0;
  EXPECT_FALSE(child.WaitFor(50, [&calls] { ++calls; }).has_value());
  EXPECT_GT(calls, 0);
  EXPECT_TRUE(child.Running());
  EXPECT_EQ(child.WaitExit(50), ChildProcess::kKilled);
  EXPECT_TRUE(Gone(child.pid()));
  EXPECT_EQ(child.WaitExit(50), ChildProcess::kKilled);
}

TEST(ChildProcess, StopEndsAChildThatIgnoresSigterm) {
  ChildProcess polite;
  ASSERT_TRUE(polite.Start(Program({"/bin/sleep", "30"})));
  EXPECT_EQ(polite.Stop(5000), ChildProcess::kSignalBase + SIGTERM);

  // An ignored signal stays ignored across exec; the shell says when it ignores it.
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  ChildProcess::Options options =
      Shell("trap '' TERM; echo ignoring >&" + std::to_string(pipe_fds[1]) + "; exec /bin/sleep 30");
  options.inherit_fds = {pipe_fds[1]};
  ChildProcess stubborn;
  ASSERT_TRUE(stubborn.Start(std::move(options)));
  close(pipe_fds[1]);
  char buf[16] = {};
  ASSERT_GT(read(pipe_fds[0], buf, sizeof buf - 1), 0);
  close(pipe_fds[0]);
  const pid_t pid = stubborn.pid();
  EXPECT_EQ(stubborn.Stop(200), ChildProcess::kKilled);
  EXPECT_FALSE(stubborn.Running());
  EXPECT_TRUE(Gone(pid));
  // Already reaped: nothing is signalled, and a new child can be started in the same object.
  stubborn.Signal(SIGKILL);
  ASSERT_TRUE(stubborn.Start(Shell("exit 5")));
  EXPECT_EQ(stubborn.WaitExit(5000), 5);
}

TEST(ChildProcess, GoingObjectReapsItsChildAndItsGroup) {
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  pid_t pid = -1;
  pid_t grandchild = -1;
  {
    ChildProcess child;
    ChildProcess::Options options =
        Shell("/bin/sleep 30 & echo $! >&" + std::to_string(pipe_fds[1]) + "; wait");
    options.inherit_fds = {pipe_fds[1]};
    options.own_process_group = true;
    ASSERT_TRUE(child.Start(std::move(options)));
    close(pipe_fds[1]);
    pid = child.pid();
    char buf[32] = {};
    ASSERT_GT(read(pipe_fds[0], buf, sizeof buf - 1), 0);
    close(pipe_fds[0]);
    grandchild = static_cast<pid_t>(std::atoi(buf));
    ASSERT_GT(grandchild, 0);
  }
  // Our own child is reaped (no zombie of ours), and what it started is gone with its group.
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  for (int i = 0; i < 500 && !Gone(grandchild); ++i) usleep(10'000);
  EXPECT_TRUE(Gone(grandchild));
}

TEST(ChildProcess, MovedChildIsKeptByItsNewOwner) {
  ChildProcess moved_to;
  {
    ChildProcess first;
    ASSERT_TRUE(first.Start(Program({"/bin/sleep", "30"})));
    moved_to = std::move(first);
  }
  EXPECT_TRUE(moved_to.Running());
  moved_to.Kill();
  EXPECT_EQ(moved_to.exit_code(), ChildProcess::kSignalBase + SIGKILL);
}

}  // namespace
}  // namespace testsupport
