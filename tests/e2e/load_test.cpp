// 32 doors at once on one private ngircd, each with its own caller: all join one channel and say
// a few lines, every door must show every line, every door must leave with 0 on /QUIT, and the CPU
// time the doors use while idle is measured and printed.
//
// ZELK_LOAD_IDLE_SECONDS sets the idle window (default 5 s; the figure is also given per 30 s).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/door_process.h"
#include "support/ngircd.h"
#include "support/proc_stats.h"

namespace {

using testsupport::DoorProcess;
using testsupport::NgircdServer;
using Clock = std::chrono::steady_clock;

constexpr int kDoors = 32;
constexpr int kLinesEach = 3;
constexpr std::string_view kChannel = "#load";

int MsSince(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

int IdleSeconds() {
  const char* text = std::getenv("ZELK_LOAD_IDLE_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 5;
}

std::string Nick(int door) {
  char nick[16];
  snprintf(nick, sizeof nick, "Load%02d", door);
  return nick;
}

std::string Text(int door, int line) {
  return "load line " + Nick(door) + "-" + std::to_string(line);
}

// How a channel line is shown, for the caller's own lines and everyone else's alike: the
// closing bracket of the sender's tag, then the text in light grey.
std::string Shown(int door, int line) {
  return "> \x1b[0;37m" + Text(door, line) + "\r\n";
}

TEST(Load, ThirtyTwoDoorsInOneChannel) {
  if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();

  std::vector<std::unique_ptr<DoorProcess>> doors;
  for (int i = 0; i < kDoors; ++i) {
    doors.push_back(std::make_unique<DoorProcess>(
        "[general]\nhandle=" + Nick(i) + "\nusername=Load Test\n[Local]\n" +
        "127.0.0.1=" + std::to_string(ngircd.port()) + "\nchannels=" + std::string(kChannel) + "\n"));
    doors.back()->StartWithCaller(/*tcp=*/i % 2 == 1);
  }
  // Everyone is in the channel before anyone speaks.
  const auto joined_by = Clock::now();
  for (int i = 0; i < kDoors; ++i) {
    ASSERT_TRUE(doors[i]->CallerWaitFor("[" + std::string(kChannel) + "] ", 60'000))
        << Nick(i) << ": " << doors[i]->CallerReceived();
  }
  printf("[ figures  ] %d doors started and joined in %d ms\n", kDoors, MsSince(joined_by));

  const auto talk = Clock::now();
  for (int i = 0; i < kDoors; ++i) {
    std::string typed;
    for (int line = 1; line <= kLinesEach; ++line) typed += Text(i, line) + "\r";
    doors[i]->CallerTypes(typed);
  }
  for (int i = 0; i < kDoors; ++i) {
    for (int from = 0; from < kDoors; ++from) {
      for (int line = 1; line <= kLinesEach; ++line) {
        ASSERT_TRUE(doors[i]->CallerWaitFor(Shown(from, line), 60'000))
            << Nick(i) << " never showed " << Text(from, line);
      }
    }
  }
  printf("[ figures  ] %d lines reached all %d doors in %d ms\n", kDoors * kLinesEach, kDoors, MsSince(talk));

  // Idle: nobody types, the server is quiet.
  const int window_s = IdleSeconds();
  int64_t before_us = 0;
  for (auto& door : doors) before_us += testsupport::CpuMicros(door->pid());
  const auto idle = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(window_s));
  int64_t after_us = 0;
  for (auto& door : doors) after_us += testsupport::CpuMicros(door->pid());
  const double used_ms = static_cast<double>(after_us - before_us) / 1000;
  const double window_ms = MsSince(idle);
  printf(
      "[ figures  ] idle CPU of %d doors: %.1f ms in %.1f s measured; %.1f ms per 30 s extrapolated "
      "(%.3f%% of one core)\n",
      kDoors, used_ms, window_ms / 1000, used_ms * 30'000 / window_ms, used_ms * 100 / window_ms);
  // Idle doors wait in poll(): a door that spins would use a whole core on its own.
  EXPECT_LT(used_ms, window_ms * 0.25);

  for (auto& door : doors) door->CallerTypes("/quit\r");
  for (int i = 0; i < kDoors; ++i) EXPECT_EQ(doors[i]->WaitExit(20'000), 0) << Nick(i);
  for (auto& door : doors) EXPECT_EQ(door->Stdout(), "");
}

}  // namespace
