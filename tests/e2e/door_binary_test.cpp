// The real binary, started the way a Linux BBS starts it.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "support/door_process.h"

namespace {

using testsupport::DoorProcess;
using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(DoorBinary, UsageExitsWithoutTouchingTheCaller) {
  DoorProcess door;
  door.StartWithCaller(false, {"-?"});
  EXPECT_EQ(door.WaitExit(5000), 0);
  EXPECT_EQ(door.CallerReceived(), "");
  // Headless: the usage text goes to standard output, as plain text.
  const std::string out = door.Stdout();
  EXPECT_EQ(out.rfind("\nUSAGE:\n\nzelkirc <PARAMETERS>\n", 0), 0u) << out;
  EXPECT_NE(out.find("\n  -  Load Settings From DOOR32.SYS\n"), std::string::npos) << out;
  EXPECT_EQ(out.find_first_of("\x1b\r"), std::string::npos) << out;
}

TEST(DoorBinary, MissingDropFileEndsWithinTwoSeconds) {
  DoorProcess door;
  auto start = Clock::now();
  door.Start({"-D" + door.dir() + "/node1/door32.sys"});
  EXPECT_EQ(door.WaitExit(5000), 0);
  EXPECT_LT(ElapsedMs(start), 2500);
  EXPECT_EQ(door.Stdout(), "");
}

TEST(DoorBinary, ClosedHandleReportsNoCarrier) {
  DoorProcess door;
  auto start = Clock::now();
  door.Start({"-H987"});
  EXPECT_EQ(door.WaitExit(5000), 0);
  EXPECT_LT(ElapsedMs(start), 2500);
}

class CallerKinds : public ::testing::TestWithParam<bool> {};

// A caller handed over as a Unix-domain socket (as Maximus does) works like a TCP one.
TEST_P(CallerKinds, TakeOverShowsOffersAndClearedScreenThenQuits) {
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n");
  door.StartWithCaller(GetParam());
  ASSERT_TRUE(door.CallerWaitFor("[Status] ", 5000)) << door.CallerReceived();
  const std::string& got = door.CallerReceived();
  EXPECT_EQ(got.substr(0, 9), std::string("\xFF\xFB\x00\xFF\xFB\x01\xFF\xFB\x03", 9));
  EXPECT_NE(got.find("\x1b[2J"), std::string::npos);
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
  EXPECT_EQ(door.Stdout(), "");
}

INSTANTIATE_TEST_SUITE_P(UnixAndTcp, CallerKinds, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tcp" : "Unix"; });

TEST(DoorBinary, IdleLimitEndsTheVisit) {
  DoorProcess door("[general]\nhandle=Wolf\nidletime=1\n");
  door.StartWithCaller();
  EXPECT_TRUE(door.CallerWaitFor("Idle Time Limit Exceeded.  Returning To BBS...", 6000))
      << door.CallerReceived();
  EXPECT_EQ(door.WaitExit(5000), 0);
}

TEST(DoorBinary, DropFileWithNoTimeLeftEndsAtTheFirstTick) {
  DoorProcess drop;
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const std::string path = drop.WriteFile(
      "door32.sys", "2\n" + std::to_string(fds[0]) + "\n38400\nTestBBS\n1\nJoe Smith\nWolf\n100\n0\n1\n1\n");
  drop.Start({"-D" + path}, fds[0]);
  close(fds[0]);
  std::string got;
  auto start = Clock::now();
  while (got.find("Your Time Has Expired.  Returning To BBS...") == std::string::npos &&
         ElapsedMs(start) < 5000) {
    char buf[4096];
    pollfd p{fds[1], POLLIN, 0};
    if (poll(&p, 1, 50) > 0) {
      ssize_t n = read(fds[1], buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
  }
  EXPECT_NE(got.find("Your Time Has Expired.  Returning To BBS..."), std::string::npos) << got;
  EXPECT_EQ(drop.WaitExit(5000), 0);
  close(fds[1]);
}

TEST(DoorBinary, SigtermEndsLikeCarrierLoss) {
  DoorProcess door("[general]\nhandle=Wolf\n");
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("[Status] ", 5000));
  door.Signal(SIGTERM);
  EXPECT_EQ(door.WaitExit(5000), 0);
}

}  // namespace
