// The caller hand-overs that the platform provides: connect-back over loopback TCP and over a
// Unix-domain socket path, and raw mode on a caller that is a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/caller_terminal.h"
#include "platform/caller_transports.h"
#include "support/sockets.h"

namespace {

using testsupport::AcceptWithin;
using testsupport::ListenLoopback;
using testsupport::ReadAvailable;
using testsupport::WriteAll;

// Both directions work on a connected transport whose far end is peer.
void ExpectTalks(platform::Transport& transport, int peer) {
  ASSERT_EQ(transport.Send("to bbs", 6).bytes, 6u);
  EXPECT_EQ(ReadAvailable(peer, 500), "to bbs");
  WriteAll(peer, "to door");
  char buf[16];
  ASSERT_EQ(transport.WaitReadable(2000), platform::Readiness::kReady);
  EXPECT_EQ(transport.Recv(buf, sizeof buf).bytes, 7u);
  EXPECT_EQ(std::string(buf, 7), "to door");
}

TEST(ConnectBack, LoopbackPort) {
  int port = 0;
  const int listener = ListenLoopback(&port);
  auto transport = platform::ConnectLoopbackPort(port);
  ASSERT_NE(transport, nullptr);
  const int peer = AcceptWithin(listener, 2000);
  ASSERT_GE(peer, 0);
  EXPECT_TRUE(platform::IsSocket(transport->Fd()));
  ExpectTalks(*transport, peer);
  transport->Close(false);
  EXPECT_EQ(ReadAvailable(peer, 500), "");  // the door's own connection is closed: end of stream
  close(peer);
  close(listener);
}

TEST(ConnectBack, UnixPath) {
  char dir[] = "/tmp/zelkirc-unix.XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/door.sock";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  auto transport = platform::ConnectUnixPath(path);
  ASSERT_NE(transport, nullptr);
  const int peer = AcceptWithin(listener, 2000);
  ASSERT_GE(peer, 0);
  ExpectTalks(*transport, peer);
  transport.reset();
  close(peer);
  close(listener);
  unlink(path.c_str());
  rmdir(dir);
}

TEST(ConnectBack, FailuresGiveNoTransport) {
  int port = 0;
  const int listener = ListenLoopback(&port);
  close(listener);  // nobody listens there now
  EXPECT_EQ(platform::ConnectLoopbackPort(port), nullptr);
  for (int bad : {0, -1, 65536}) EXPECT_EQ(platform::ConnectLoopbackPort(bad), nullptr) << bad;
  EXPECT_EQ(platform::ConnectUnixPath(""), nullptr);
  EXPECT_EQ(platform::ConnectUnixPath("/tmp/zelkirc-no-such-dir/door.sock"), nullptr);
  EXPECT_EQ(platform::ConnectUnixPath("/tmp/" + std::string(200, 'x')), nullptr);
  EXPECT_EQ(platform::ConnectUnixPath(std::string("/tmp/a\0b", 8)), nullptr);
}

// A pseudo-terminal pair; the slave starts in the kernel's cooked defaults.
struct Pty {
  Pty() {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  }
  ~Pty() {
    close(slave);
    close(master);
  }
  termios Modes() const {
    termios t{};
    tcgetattr(slave, &t);
    return t;
  }
  int master = -1;
  int slave = -1;
};

bool IsCooked(const termios& t) {
  return (t.c_lflag & (ICANON | ECHO | ISIG)) == (ICANON | ECHO | ISIG) && (t.c_iflag & ICRNL) &&
         (t.c_oflag & OPOST);
}

bool IsRaw(const termios& t) {
  return (t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (t.c_iflag & (ICRNL | IXON)) == 0 &&
         (t.c_oflag & OPOST) == 0 && t.c_cc[VMIN] == 1;
}

TEST(CallerTerminal, RawForTheVisitThenRestored) {
  Pty pty;
  ASSERT_TRUE(IsCooked(pty.Modes()));
  {
    auto raw = platform::MakeCallerTerminalRaw(pty.slave);
    ASSERT_NE(raw, nullptr);
    EXPECT_TRUE(IsRaw(pty.Modes()));
    // One key arrives at once, untranslated and not echoed.
    WriteAll(pty.master, "\r");
    EXPECT_EQ(ReadAvailable(pty.slave, 200), "\r");
    EXPECT_EQ(ReadAvailable(pty.master, 50), "");
  }
  EXPECT_TRUE(IsCooked(pty.Modes()));
}

TEST(CallerTerminal, NotATerminalIsLeftAlone) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_EQ(platform::MakeCallerTerminalRaw(fds[0]), nullptr);
  EXPECT_FALSE(platform::IsTerminal(fds[0]));
  EXPECT_FALSE(platform::IsSocket(fds[0]));
  close(fds[0]);
  close(fds[1]);
}

TEST(CallerTerminal, RestoredWhenASignalEndsTheProcess) {
  for (int sig : {SIGINT, SIGABRT}) {
    Pty pty;
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto raw = platform::MakeCallerTerminalRaw(pty.slave);
      if (raw == nullptr) _exit(3);
      raise(sig);
      _exit(4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    EXPECT_TRUE(IsCooked(pty.Modes())) << "after signal " << sig;
  }
}

}  // namespace
