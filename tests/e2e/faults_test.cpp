// Endings the door does not choose, through the real binary: the caller drops carrier wherever the
// door happens to be waiting, the BBS sends a termination signal, and the IRC server goes away in
// each of the ways a connection can end. Every visit must still say goodbye to the server and
// leave with exit code 0, and a lost server must not take the door down.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "support/caller_drain.h"
#include "support/door_process.h"
#include "support/pseudo_terminal.h"
#include "support/scripted_server.h"
#include "support/sockets.h"
#include "support/temp_ini.h"
#include "support/terminal_door.h"

namespace {

using testsupport::CallerDrain;
using testsupport::DoorProcess;
using testsupport::ExpectTerminalRestored;
using testsupport::kWolfGeneral;
using testsupport::OneNetworkIni;
using testsupport::ScriptedServer;
using testsupport::TerminalDoor;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kCarrierQuit = "QUIT :ZelkIRC v1.32 (Caller Dropped Carrier)";
// "About a second": the carrier is checked every 750 ms; the rest is room for a loaded machine.
constexpr int kGoodbyeWithinMs = 1500;
constexpr int kFloodLines = 100'000;
constexpr size_t kFloodShown = 100'000;  // bytes of flood output that show the door is in it

int MsSince(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Waits until needle has arrived at the caller `count` times in all.
bool CallerWaitForCount(DoorProcess& door, std::string_view needle, int count, int timeout_ms) {
  for (auto start = Clock::now(); MsSince(start) < timeout_ms;) {
    const std::string& got = door.CallerReceived();
    int found = 0;
    for (size_t at = got.find(needle); at != std::string::npos; at = got.find(needle, at + 1)) ++found;
    if (found >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Waits until the caller has received at least `total` bytes.
bool CallerWaitForBytes(DoorProcess& door, size_t total, int timeout_ms) {
  for (auto start = Clock::now(); MsSince(start) < timeout_ms;) {
    if (door.CallerReceived().size() >= total) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Waits for the carrier QUIT line and checks it came within kGoodbyeWithinMs of `dropped`.
void ExpectCarrierGoodbye(ScriptedServer& server, Clock::time_point dropped) {
  auto quit = server.WaitForLine("QUIT", 10'000);
  const int ms = MsSince(dropped);
  ASSERT_TRUE(quit.has_value()) << "no QUIT; the server received: " << server.received().substr(0, 500);
  EXPECT_EQ(*quit, kCarrierQuit);
  EXPECT_LT(ms, kGoodbyeWithinMs) << "the QUIT line came " << ms << " ms after the carrier loss";
}

// Reads from a raw server connection into *got until it holds needle (true) or timeout_ms passes.
bool ReadUntil(int fd, std::string* got, std::string_view needle, int timeout_ms) {
  for (auto start = Clock::now(); MsSince(start) < timeout_ms;) {
    if (got->find(needle) != std::string::npos) return true;
    *got += testsupport::ReadAvailable(fd, 20);
  }
  return got->find(needle) != std::string::npos;
}

// Reads until the other end closes (true) or timeout_ms passes.
bool PeerCloses(int fd, int timeout_ms) {
  for (auto start = Clock::now(); MsSince(start) < timeout_ms;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char buf[4096];
    if (recv(fd, buf, sizeof buf, 0) <= 0) return true;
  }
  return false;
}

// A descriptor closed with the object.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// 100,000 server lines that each show a line to the caller, numbered so a test can see how far
// the door has got.
std::string FloodText() {
  std::string flood;
  flood.reserve(kFloodLines * 48);
  char line[64];
  for (int i = 1; i <= kFloodLines; ++i) {
    snprintf(line, sizeof line, ":Bob!bob@host NOTICE Wolf :flood line %06d\r\n", i);
    flood += line;
  }
  return flood;
}

// Sends a flood from its own thread, so the test can go on reading and acting while the door
// takes it in: the text once, or again and again until the sender goes ("a server that never
// pauses"). Sends to a door that has gone fail at once.
class FloodSender {
 public:
  FloodSender(ScriptedServer& server, std::string text, bool endless = false)
      : text_(std::move(text)), thread_([this, &server, endless] {
          do {
            server.Send(text_);
          } while (endless && !stop_);
        }) {}
  ~FloodSender() {
    stop_ = true;
    thread_.join();
  }

 private:
  const std::string text_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A door with a caller, registered with a scripted server for the network "Local".
class ScriptedDoor : public ::testing::Test {
 protected:
  void StartRegistered(std::string_view network_extra = "", bool tcp_caller = false) {
    door_ = std::make_unique<DoorProcess>(OneNetworkIni(server_.port(), kWolfGeneral, network_extra));
    door_->StartWithCaller(tcp_caller);
    ASSERT_TRUE(server_.Accept(10'000));
    ASSERT_TRUE(server_.WaitForLine("USER ", 10'000)) << server_.received();
    ASSERT_TRUE(door_->CallerWaitFor("[Status] ", 10'000)) << door_->CallerReceived();
  }

  ScriptedServer server_;
  std::unique_ptr<DoorProcess> door_;
};

// ---- carrier loss wherever the door waits ----

class CarrierAtPrompt : public ::testing::TestWithParam<bool> {};

TEST_P(CarrierAtPrompt, SaysGoodbyeAndEnds) {
  const bool at_password = GetParam();
  ScriptedServer server;
  DoorProcess door(OneNetworkIni(server.port(), kWolfGeneral, "pass=1\n"));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("Please Enter Your User Name: ", 10'000)) << door.CallerReceived();
  if (at_password) {
    door.CallerTypes("Wolf\r");
    ASSERT_TRUE(door.CallerWaitFor("Please Enter Your Password:  ", 10'000)) << door.CallerReceived();
  }
  ASSERT_TRUE(server.Accept(10'000));
  const auto dropped = Clock::now();
  door.CloseCaller();
  ExpectCarrierGoodbye(server, dropped);
  // Nothing of the registration went out: the prompts come before PASS, NICK and USER.
  EXPECT_EQ(server.received(), std::string(kCarrierQuit) + "\r\n");
  EXPECT_EQ(door.WaitExit(10'000), 0);
}

INSTANTIATE_TEST_SUITE_P(UserNameAndPassword, CarrierAtPrompt, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Password" : "UserName"; });

TEST(CarrierDrop, InTheNetworkMenuWhileConnected) {
  ScriptedServer net_a, net_b;
  DoorProcess door("[general]\nhandle=Wolf\n[NetA]\n127.0.0.1=" + std::to_string(net_a.port()) +
                   "\n[NetB]\n127.0.0.1=" + std::to_string(net_b.port()) + "\n");
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("  Your Choice: ", 10'000)) << door.CallerReceived();
  door.CallerTypes("a");
  ASSERT_TRUE(net_a.Accept(10'000));
  ASSERT_TRUE(net_a.WaitForLine("USER ", 10'000));
  ASSERT_TRUE(door.CallerWaitFor("[Status] ", 10'000));
  door.CallerTypes("/serverlist\r");
  ASSERT_TRUE(CallerWaitForCount(door, "  Your Choice: ", 2, 10'000)) << door.CallerReceived();

  const auto dropped = Clock::now();
  door.CloseCaller();
  ExpectCarrierGoodbye(net_a, dropped);
  EXPECT_EQ(door.WaitExit(10'000), 0);
  EXPECT_FALSE(net_b.Accept(0));
}

struct FloodCase {
  const char* name;
  bool tcp_caller;
  bool endless;
};

class CarrierInFlood : public ScriptedDoor, public ::testing::WithParamInterface<FloodCase> {};

// The caller stops reading in the middle of the flood, then vanishes: the sends to it fail
// (without SIGPIPE killing the door) and the carrier loss is noticed although server lines keep
// arriving.
TEST_P(CarrierInFlood, SaysGoodbyeWithinASecond) {
  StartRegistered("", GetParam().tcp_caller);
  FloodSender flood(server_, FloodText(), GetParam().endless);
  // Output the caller is too slow for may be dropped, so the test counts bytes, not lines.
  ASSERT_TRUE(CallerWaitForBytes(*door_, door_->CallerReceived().size() + kFloodShown, 20'000));
  const auto dropped = Clock::now();
  door_->CloseCaller();
  ExpectCarrierGoodbye(server_, dropped);
  EXPECT_EQ(door_->WaitExit(10'000), 0);  // 141 would be death by SIGPIPE
}

INSTANTIATE_TEST_SUITE_P(Floods, CarrierInFlood,
                         ::testing::Values(FloodCase{"UnixCaller", false, false},
                                           FloodCase{"TcpCaller", true, false},
                                           FloodCase{"NeverEnding", false, true}),
                         [](const auto& info) { return info.param.name; });

TEST(CarrierDrop, DuringTheSysopChat) {
  ScriptedServer server;
  TerminalDoor door(OneNetworkIni(server.port()));
  door.Start();
  ASSERT_TRUE(server.Accept(10'000));
  ASSERT_TRUE(server.WaitForLine("USER ", 10'000));
  ASSERT_TRUE(door.CallerWaitFor("[Status] ", 10'000)) << door.CallerReceived();
  door.SysopTypes("\033c");  // Alt-C: Esc, then c
  ASSERT_TRUE(door.CallerWaitFor("Chat Mode Initiated", 10'000)) << door.Describe();
  door.CallerTypes("hello sysop");
  ASSERT_TRUE(door.TerminalWaitFor("hello sysop", 10'000)) << door.Describe();

  const auto dropped = Clock::now();
  door.CloseCaller();
  ExpectCarrierGoodbye(server, dropped);
  EXPECT_EQ(door.WaitExit(10'000), 0);
  EXPECT_TRUE(door.TerminalWaitFor("Caller Dropped Carrier.", 0)) << door.Describe();
  ExpectTerminalRestored(door);
}

// ---- the BBS ending the node with a signal ----

class TerminationSignal : public ::testing::TestWithParam<int> {};

TEST_P(TerminationSignal, EndsLikeCarrierLossAndRestoresTheTerminal) {
  ScriptedServer server;
  TerminalDoor door(OneNetworkIni(server.port()));
  door.Start();
  ASSERT_TRUE(server.Accept(10'000));
  ASSERT_TRUE(server.WaitForLine("USER ", 10'000));
  ASSERT_TRUE(door.CallerWaitFor("[Status] ", 10'000)) << door.CallerReceived();
  ASSERT_TRUE(door.TerminalWaitFor("[Status]", 10'000)) << door.Describe();
  ASSERT_FALSE(door.TerminalModesRestored());  // curses has the terminal in raw mode now

  const auto signalled = Clock::now();
  door.Signal(GetParam());
  ExpectCarrierGoodbye(server, signalled);
  EXPECT_EQ(door.WaitExit(10'000), 0);
  ExpectTerminalRestored(door);
}

INSTANTIATE_TEST_SUITE_P(TermAndHup, TerminationSignal, ::testing::Values(SIGTERM, SIGHUP),
                         [](const auto& info) { return info.param == SIGTERM ? "Sigterm" : "Sighup"; });

// Signals the door does not end in order (a user signal, a timer, a BBS's CPU limit) still end it
// with the terminals back in their modes: the sysop's, and a caller's pseudo-terminal with -S.
class FatalSignal : public ::testing::TestWithParam<int> {};

TEST_P(FatalSignal, SysopsTerminalIsRestored) {
  ScriptedServer server;
  TerminalDoor door(OneNetworkIni(server.port()));
  door.Start();
  ASSERT_TRUE(server.Accept(10'000));
  ASSERT_TRUE(server.WaitForLine("USER ", 10'000));
  ASSERT_TRUE(door.TerminalWaitFor("[Status]", 10'000)) << door.Describe();
  ASSERT_FALSE(door.TerminalModesRestored());
  door.Signal(GetParam());
  EXPECT_EQ(door.WaitExit(10'000), 128 + GetParam());
  EXPECT_TRUE(door.TerminalModesRestored());
}

TEST_P(FatalSignal, CallersTerminalIsRestored) {
  testsupport::PseudoTerminal pty;
  {
    ScriptedServer server;
    DoorProcess door(OneNetworkIni(server.port()));
    door.StartWithStandardStreams({"-S", "-CCP437"}, pty.slave(), pty.slave(), -1);
    ASSERT_TRUE(server.Accept(10'000));
    ASSERT_TRUE(server.WaitForLine("USER ", 10'000));
    const std::string seen = pty.ReadUntil("[Status] ", 10'000);
    ASSERT_EQ(pty.Modes().c_lflag & (ICANON | ECHO), 0u) << seen;
    door.Signal(GetParam());
    EXPECT_EQ(door.WaitExit(10'000), 128 + GetParam());
  }
  const termios after = pty.Modes();
  EXPECT_EQ(after.c_lflag, pty.modes_at_start().c_lflag);
  EXPECT_EQ(after.c_iflag, pty.modes_at_start().c_iflag);
  EXPECT_EQ(after.c_oflag, pty.modes_at_start().c_oflag);
}

INSTANTIATE_TEST_SUITE_P(UserTimerAndCpuLimit, FatalSignal, ::testing::Values(SIGUSR1, SIGALRM, SIGXCPU),
                         [](const auto& info) {
                           switch (info.param) {
                             case SIGUSR1:
                               return "Sigusr1";
                             case SIGALRM:
                               return "Sigalrm";
                             default:
                               return "Sigxcpu";
                           }
                         });

// A signal the BBS had the door ignore stays ignored: it neither ends the visit nor gives the
// terminal back in the middle of it.
TEST(FatalSignals, OneIgnoredFromTheStartStaysIgnored) {
  ScriptedServer server;
  TerminalDoor door(OneNetworkIni(server.port()));
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGUSR1, &ignore, &old);
  door.Start();
  sigaction(SIGUSR1, &old, nullptr);
  ASSERT_TRUE(server.Accept(10'000));
  ASSERT_TRUE(server.WaitForLine("USER ", 10'000));
  ASSERT_TRUE(door.TerminalWaitFor("[Status]", 10'000)) << door.Describe();
  door.Signal(SIGUSR1);
  server.SendLine("PING :after-usr1");
  EXPECT_TRUE(server.WaitForLine("PONG :after-usr1", 10'000));
  EXPECT_FALSE(door.TerminalModesRestored());
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(10'000), 0);
  ExpectTerminalRestored(door);
}

// SIGPIPE is ignored as a whole, not only avoided on each send.
TEST_F(ScriptedDoor, SigpipeDoesNotEndTheVisit) {
  StartRegistered();
  door_->Signal(SIGPIPE);
  server_.SendLine("PING :still-here");
  EXPECT_TRUE(server_.WaitForLine("PONG :still-here", 10'000));
  door_->CallerTypes("/quit\r");
  EXPECT_TRUE(server_.WaitForLine("QUIT :ZelkIRC v1.32", 10'000));
  EXPECT_EQ(door_->WaitExit(10'000), 0);
}

// The signal must also end a visit whose server never pauses (a flood keeps the main loop away
// from key waiting), whether the caller keeps reading or has stopped reading and left the door's
// output to pile up.
class SigtermInFlood : public ScriptedDoor, public ::testing::WithParamInterface<bool> {};

TEST_P(SigtermInFlood, SaysGoodbyeWithinASecond) {
  const bool caller_frozen = GetParam();
  StartRegistered();
  std::unique_ptr<CallerDrain> drain;
  if (!caller_frozen) drain = std::make_unique<CallerDrain>(door_->caller_fd());
  FloodSender flood(server_, FloodText(), /*endless=*/true);
  if (caller_frozen) {
    // Unread output waiting in the caller's socket: the door has written on after it stopped.
    // (Written a line at a time, a few tens of KiB already fill a Unix socket's buffer.)
    constexpr int kUnread = 16 * 1024;
    int unread = 0;
    for (auto start = Clock::now(); unread < kUnread && MsSince(start) < 20'000;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ioctl(door_->caller_fd(), FIONREAD, &unread);
    }
    ASSERT_GE(unread, kUnread);
  } else {
    ASSERT_TRUE(drain->WaitForBytes(kFloodShown, 20'000));
  }
  const auto signalled = Clock::now();
  door_->Signal(SIGTERM);
  ExpectCarrierGoodbye(server_, signalled);
  EXPECT_EQ(door_->WaitExit(10'000), 0);
}

INSTANTIATE_TEST_SUITE_P(ReadingAndFrozenCaller, SigtermInFlood, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "CallerFrozen" : "CallerReading"; });

// ---- the IRC server going away ----

enum class ServerEnd { kClose, kReset, kSilent, kHalfLine };

class ServerGoes : public ::testing::TestWithParam<ServerEnd> {};

// The door stays up and shows what arrived before the end. A half line without its line end is
// not a line: it is never shown, and it must not stick to the first line of the next connection.
TEST_P(ServerGoes, DoorStaysUpAndReconnects) {
  int port = 0;
  const Fd listener(testsupport::ListenLoopback(&port));
  DoorProcess door(OneNetworkIni(port));
  door.StartWithCaller();
  Fd conn(testsupport::AcceptWithin(listener.get(), 10'000));
  ASSERT_GE(conn.get(), 0);
  std::string got;
  ASSERT_TRUE(ReadUntil(conn.get(), &got, "USER ", 10'000)) << got;
  testsupport::WriteAll(conn.get(), ":irc.test NOTICE Wolf :last words\r\n");
  ASSERT_TRUE(door.CallerWaitFor("last words", 10'000)) << door.CallerReceived();

  switch (GetParam()) {
    case ServerEnd::kClose:
      shutdown(conn.get(), SHUT_WR);
      EXPECT_TRUE(PeerCloses(conn.get(), 10'000));  // the door lets go of the dead connection
      break;
    case ServerEnd::kReset: {
      linger hard{1, 0};
      setsockopt(conn.get(), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      conn.Close();
      break;
    }
    case ServerEnd::kSilent:
      // Still connected, answering nothing: a command goes out and the door keeps taking keys.
      door.CallerTypes("/join #quiet\r");
      EXPECT_TRUE(ReadUntil(conn.get(), &got, "join #quiet\r\n", 10'000));
      break;
    case ServerEnd::kHalfLine:
      testsupport::WriteAll(conn.get(), ":irc.test NOTICE Wolf :half a li");
      shutdown(conn.get(), SHUT_WR);
      EXPECT_TRUE(PeerCloses(conn.get(), 10'000));
      break;
  }

  // Server data is always taken before keys, so the door has seen the end before this arrives.
  door.CallerTypes("/serverlist\r");
  const Fd again(testsupport::AcceptWithin(listener.get(), 10'000));
  ASSERT_GE(again.get(), 0) << door.CallerReceived();
  std::string second;
  ASSERT_TRUE(ReadUntil(again.get(), &second, "USER ", 10'000));
  testsupport::WriteAll(again.get(), "PING :again\r\n:irc.test NOTICE Wolf :new server\r\n");
  EXPECT_TRUE(ReadUntil(again.get(), &second, "PONG :again\r\n", 10'000)) << second;
  EXPECT_EQ(second.substr(0, second.find("PONG")),
            "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n");
  ASSERT_TRUE(door.CallerWaitFor("new server", 10'000)) << door.CallerReceived();
  EXPECT_EQ(door.CallerReceived().find("half a li"), std::string::npos);

  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(10'000), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryEnding, ServerGoes,
                         ::testing::Values(ServerEnd::kClose, ServerEnd::kReset, ServerEnd::kSilent,
                                           ServerEnd::kHalfLine),
                         [](const auto& info) {
                           switch (info.param) {
                             case ServerEnd::kClose:
                               return "Close";
                             case ServerEnd::kReset:
                               return "Reset";
                             case ServerEnd::kSilent:
                               return "Silent";
                             case ServerEnd::kHalfLine:
                               return "HalfLineThenClose";
                           }
                           return "";
                         });

}  // namespace
