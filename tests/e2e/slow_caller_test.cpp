// A caller on a slow link while the IRC server floods: the door must keep reading its server (a
// real ngircd drops a client that falls behind) and hold the caller's output until the caller can
// take it, in order and complete.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "support/sockets.h"

namespace {

using testsupport::DoorProcess;
using testsupport::IrcPeer;
using testsupport::NgircdServer;
using Clock = std::chrono::steady_clock;

constexpr int kLines = 60'000;
constexpr size_t kLineText = 132;  // with "PRIVMSG #lobby :" and CR LF about 150 bytes: 9 MB in all
constexpr int kSmallBuffer = 16 * 1024;
constexpr size_t kSlowReadPerTick = 1000;  // every 20 ms: 50 KB/s
constexpr int kTickMs = 20;
constexpr int kLinesPerStep = 200;  // every 10 ms: 20,000 lines a second, 3 MB/s
constexpr int kStepMs = 10;

int MsSince(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// A caller's end and the door's end of a loopback TCP connection, both with small socket buffers,
// so that the kernel holds little of what the door sends.
std::pair<int, int> SmallBufferedPair() {
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  const int caller = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  setsockopt(caller, SOL_SOCKET, SO_RCVBUF, &kSmallBuffer, sizeof kSmallBuffer);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(caller, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {-1, -1};
  const int door_end = testsupport::AcceptWithin(listener, 2000);
  close(listener);
  setsockopt(door_end, SOL_SOCKET, SO_SNDBUF, &kSmallBuffer, sizeof kSmallBuffer);
  return {caller, door_end};
}

size_t ReadUpTo(int fd, std::string& into, size_t most) {
  char buffer[65536];
  const ssize_t n = recv(fd, buffer, std::min(most, sizeof buffer), MSG_DONTWAIT);
  if (n <= 0) return 0;
  into.append(buffer, static_cast<size_t>(n));
  return static_cast<size_t>(n);
}

std::string ChannelLine(int i) {
  char number[16];
  std::snprintf(number, sizeof number, "%06d", i);
  std::string text = "slow " + std::string(number) + " ";
  while (text.size() < kLineText) text += "the door holds this for a caller on a modem line ";
  text.resize(kLineText);
  return "PRIVMSG #lobby :" + text;
}

// Every "slow NNNNNN" in the caller's stream, in order, must count up from 0 to kLines - 1.
int CountInOrder(const std::string& got, std::string* problem) {
  int next = 0;
  for (size_t at = got.find("slow "); at != std::string::npos; at = got.find("slow ", at + 1)) {
    const int number = std::atoi(got.substr(at + 5, 6).c_str());
    if (number != next) {
      *problem = "line " + std::to_string(number) + " where " + std::to_string(next) + " was due";
      return next;
    }
    ++next;
  }
  return next;
}

TEST(SlowCaller, KeepsTheServerAndGetsEveryLineOfAnEightMegabyteFlood) {
  if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  IrcPeer carol;
  ASSERT_TRUE(testsupport::StartWithUserInLobby(ngircd, carol, "Carol"));

  const auto [caller, door_end] = SmallBufferedPair();
  ASSERT_GE(door_end, 0);
  DoorProcess door("[general]\nusername=Joe Smith\nhandle=Wolf\n[Local]\n127.0.0.1=" +
                   std::to_string(ngircd.port()) + "\nchannels=#lobby\n");
  door.Start({"-H" + std::to_string(door_end)}, door_end);
  close(door_end);
  ASSERT_TRUE(carol.WaitFor(":Wolf!", 5000));
  std::string got;
  for (auto start = Clock::now(); got.find("[#lobby] ") == std::string::npos && MsSince(start) < 5000;) {
    pollfd p{caller, POLLIN, 0};
    poll(&p, 1, 50);
    ReadUpTo(caller, got, SIZE_MAX);
  }
  ASSERT_NE(got.find("[#lobby] "), std::string::npos) << got;
  got.clear();

  // Carol floods the channel, then asks the door for its version: the answer comes only once the
  // door has taken in every line before it. The flood is paced only so that a sanitizer build of
  // the door, many times slower, still outruns it: the caller is the slow one here.
  std::atomic<bool> answered{false};
  std::thread flood([&] {
    const auto begin = Clock::now();
    for (int i = 0; i < kLines; i += kLinesPerStep) {
      std::string text;
      for (int j = i; j < i + kLinesPerStep && j < kLines; ++j) text += ChannelLine(j) + "\r\n";
      text.resize(text.size() - 2);
      carol.SendLine(text);
      std::this_thread::sleep_until(begin + std::chrono::milliseconds(kStepMs * (i / kLinesPerStep + 1)));
    }
    carol.SendLine("PRIVMSG Wolf :\x01VERSION\x01");
    answered = carol.WaitFor("NOTICE Carol :\x01VERSION ZelkIRC v1.32\x01", 30'000).has_value();
  });
  const auto start = Clock::now();
  while (!answered && MsSince(start) < 30'000) {
    ReadUpTo(caller, got, kSlowReadPerTick);
    std::this_thread::sleep_for(std::chrono::milliseconds(kTickMs));
  }
  flood.join();
  ASSERT_TRUE(answered) << "the door did not keep up with its server\n" << ngircd.Log();
  const size_t read_slowly = got.size();

  const std::string last = ChannelLine(kLines - 1).substr(16);
  for (auto fast = Clock::now(); got.find(last) == std::string::npos && MsSince(fast) < 30'000;) {
    pollfd p{caller, POLLIN, 0};
    poll(&p, 1, 50);
    while (ReadUpTo(caller, got, SIZE_MAX) > 0) {
    }
  }
  std::string problem;
  EXPECT_EQ(CountInOrder(got, &problem), kLines) << problem;
  EXPECT_EQ(got.find("Output skipped"), std::string::npos);
  // Most of the flood waited in the door while the caller read slowly: the kernel alone did not
  // hold it.
  EXPECT_LT(read_slowly, got.size() / 4) << read_slowly << " of " << got.size() << " bytes read slowly";

  // Still on the server, and still answering.
  carol.SendLine("PRIVMSG #lobby :still here");
  for (auto after = Clock::now(); got.find("still here") == std::string::npos && MsSince(after) < 5000;) {
    pollfd p{caller, POLLIN, 0};
    poll(&p, 1, 50);
    ReadUpTo(caller, got, SIZE_MAX);
  }
  EXPECT_NE(got.find("still here"), std::string::npos);
  EXPECT_EQ(ngircd.Log().find("exhausted"), std::string::npos) << ngircd.Log();

  testsupport::WriteAll(caller, "/quit\r");
  const auto quit = carol.WaitFor(" QUIT :", 5000);
  ASSERT_TRUE(quit.has_value());
  EXPECT_NE(quit->find("ZelkIRC v1.32"), std::string::npos) << *quit;
  EXPECT_EQ(door.WaitExit(5000), 0);
  close(caller);
}

}  // namespace
