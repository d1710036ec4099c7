// The program's own ending when something inside it fails: running out of memory (or any other
// error thrown from deep inside a visit) still sends a QUIT line to the server and leaves with
// exit code 0, as every other ending does.
#include "app/program.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/console.h"
#include "support/scripted_server.h"
#include "support/temp_ini.h"

namespace app {
namespace {

using testsupport::ScriptedServer;
using testsupport::TempIni;

constexpr int kWaitMs = 10'000;

// The system clock, whose next wait throws once the test has armed it: a failure deep inside the
// main loop, as an allocation that fails there would be.
class FailingClock : public platform::SystemClock {
 public:
  enum class Fault { kNone, kOutOfMemory, kOther };
  std::atomic<Fault> fault{Fault::kNone};

  int Wait(std::span<platform::WaitFd> fds, int timeout_ms) override {
    switch (fault.exchange(Fault::kNone)) {
      case Fault::kOutOfMemory:
        throw std::bad_alloc();
      case Fault::kOther:
        throw std::logic_error("a fault of ours");
      case Fault::kNone:
        break;
    }
    return SystemClock::Wait(fds, timeout_ms);
  }
};

struct FaultCase {
  const char* name;
  FailingClock::Fault fault;
  const char* quit;
};

class ProgramFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ProgramFault, StillSaysGoodbyeAndEndsWithZero) {
  ScriptedServer server;
  const TempIni ini(testsupport::OneNetworkIni(server.port(), "handle=Wolf\n"));
  const std::string program = ini.path().substr(0, ini.path().size() - 4);  // the INI's own name
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  platform::Console console;
  FailingClock clock;
  int exit_code = -1;
  std::thread door(
      [&] { exit_code = RunProgramOn({"-H" + std::to_string(fds[0])}, program, console, clock, nullptr); });
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
  clock.fault = GetParam().fault;
  server.SendLine("PING :wake-up");  // the door's next wait is the failing one
  const auto quit = server.WaitForLine("QUIT", kWaitMs);
  door.join();
  ASSERT_TRUE(quit.has_value()) << server.received();
  EXPECT_EQ(*quit, GetParam().quit);
  EXPECT_EQ(exit_code, 0);
  EXPECT_TRUE(server.WaitForClose(kWaitMs));
  close(fds[0]);
  close(fds[1]);
}

INSTANTIATE_TEST_SUITE_P(Faults, ProgramFault,
                         ::testing::Values(FaultCase{"OutOfMemory", FailingClock::Fault::kOutOfMemory,
                                                     "QUIT :ZelkIRC v1.32 (Out Of Memory)"},
                                           FaultCase{"OtherError", FailingClock::Fault::kOther,
                                                     "QUIT :ZelkIRC v1.32 (Internal Error)"}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace app
