// A server that never answers the connection (its accept queue is full), through the real binary:
// the caller's hang-up and the BBS's termination signal still end the visit at once, and the
// connect gives up by itself after connecttimeout.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/door_process.h"
#include "support/sockets.h"
#include "support/temp_ini.h"

namespace {

using testsupport::DoorProcess;
using testsupport::FullListener;
using testsupport::OneNetworkIni;

// Far less than the 30 s a connect may take: the ending did not wait for it.
constexpr int kEndsWithinMs = 5000;

TEST(ConnectBounds, HangUpDuringConnectEndsTheVisit) {
  FullListener full;
  DoorProcess door(OneNetworkIni(full.port()));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("Connecting to 127.0.0.1", 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // well inside the connect
  door.CloseCaller();
  EXPECT_EQ(door.WaitExit(kEndsWithinMs), 0);
}

TEST(ConnectBounds, SigtermDuringConnectEndsTheVisit) {
  FullListener full;
  DoorProcess door(OneNetworkIni(full.port()));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("Connecting to 127.0.0.1", 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  door.Signal(SIGTERM);
  EXPECT_EQ(door.WaitExit(kEndsWithinMs), 0);
}

TEST(ConnectBounds, ConnectGivesUpAfterItsTimeAndTheDoorStaysUsable) {
  FullListener full;
  DoorProcess door(OneNetworkIni(full.port(), "handle=Wolf\nusername=Joe Smith\nconnecttimeout=1\n"));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("No answer within 1 seconds", 5000));
  ASSERT_TRUE(door.CallerWaitFor("[Status] ", 5000));
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

}  // namespace
