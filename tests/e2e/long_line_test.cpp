// Server lines longer than 64 KiB, through the real binary: such a line is handled as its first
// 64 KiB, the rest up to its line end is dropped, later lines are handled as usual, and the door's
// memory stays bounded however long the line grows.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>

#include "support/door_process.h"
#include "support/proc_stats.h"
#include "support/scripted_server.h"

namespace {

using testsupport::DoorProcess;
using testsupport::ScriptedServer;

constexpr size_t kMaxLine = 64 * 1024;
// An unrecognised server line is shown in dark grey as it came: "\x7F8" + the line.
constexpr std::string_view kShownPrefix = "\x1b[1;30mLONG ";
constexpr char kFiller = 'Q';  // appears nowhere else in what the caller receives

std::string LineOfLength(size_t length) {
  std::string line = "LONG ";
  line.append(length - line.size(), kFiller);
  return line;
}

class LongLine : public ::testing::Test {
 protected:
  void SetUp() override {
    door_ = std::make_unique<DoorProcess>("[general]\nhandle=Wolf\nusername=Joe Smith\n[Local]\n127.0.0.1=" +
                                          std::to_string(server_.port()) + "\n");
    door_->StartWithCaller();
    ASSERT_TRUE(server_.Accept(10'000));
    ASSERT_TRUE(server_.WaitForLine("USER ", 10'000));
    ASSERT_TRUE(door_->CallerWaitFor("[Status] ", 10'000));
  }

  void TearDown() override {
    if (!door_ || !door_->Running()) return;
    door_->CallerTypes("/quit\r");
    EXPECT_TRUE(server_.WaitForLine("QUIT :ZelkIRC v1.32", 10'000));
    EXPECT_EQ(door_->WaitExit(10'000), 0);
  }

  // Sends text, then a PING, and waits for the PONG: every line before it has been handled by
  // then. What the door shows meanwhile fits in the caller's socket buffer.
  void SendThenPing(const std::string& text, std::string_view token, int timeout_ms = 60'000) {
    server_.Send(text);
    server_.SendLine("PING :" + std::string(token));
    auto pong = server_.WaitForLine("PONG", timeout_ms);
    ASSERT_TRUE(pong.has_value()) << "no PONG after the long line";
    EXPECT_EQ(*pong, "PONG :" + std::string(token));
  }

  // The run of filler bytes shown after the first kShownPrefix at or after `from`, and what
  // follows it.
  struct Shown {
    size_t filler = 0;
    std::string after;
  };
  Shown ShownLine(size_t from) {
    const std::string& got = door_->CallerReceived();
    const size_t at = got.find(kShownPrefix, from);
    if (at == std::string::npos) return {};
    const size_t start = at + kShownPrefix.size();
    const size_t end = std::min(got.find_first_not_of(kFiller, start), got.size());
    return {end - start, got.substr(end, 2)};
  }

  ScriptedServer server_;
  std::unique_ptr<DoorProcess> door_;
};

// Lengths around the limit, each followed by a line end in the same send and then by a normal
// line: the shown part is min(length, 64 KiB), the next line is never swallowed.
TEST_F(LongLine, ShownUpToTheLimitAndTheNextLineKept) {
  for (size_t length : {kMaxLine - 1, kMaxLine, kMaxLine + 1, size_t{1} << 20}) {
    SCOPED_TRACE(length);
    const size_t from = door_->CallerReceived().size();
    SendThenPing(LineOfLength(length) + "\r\n:irc.test NOTICE Wolf :after " + std::to_string(length) + "\r\n",
                 std::to_string(length));
    ASSERT_TRUE(door_->CallerWaitFor("after " + std::to_string(length), 10'000));
    const Shown shown = ShownLine(from);
    EXPECT_EQ(shown.filler, std::min(length, kMaxLine) - 5);
    EXPECT_EQ(shown.after, "\r\n");
  }
}

// A megabyte without a line end, then more lines: the first 64 KiB is shown as soon as it is
// there, the rest up to the line end is dropped, and what follows is handled.
TEST_F(LongLine, MegabyteWithoutLineEndThenMoreLines) {
  const size_t from = door_->CallerReceived().size();
  server_.Send(LineOfLength(1 << 20));
  ASSERT_TRUE(door_->CallerWaitFor(std::string(kMaxLine - 5, kFiller) + "\r\n", 30'000))
      << door_->CallerReceived().size();
  // More of the same line, then its end with the next lines in one piece.
  server_.Send(std::string(300'000, kFiller));
  SendThenPing(std::string(1000, kFiller) + "\r\n:irc.test NOTICE Wolf :next line\r\n", "after-end");
  ASSERT_TRUE(door_->CallerWaitFor("next line", 10'000));
  const Shown shown = ShownLine(from);
  EXPECT_EQ(shown.filler, kMaxLine - 5);
  EXPECT_EQ(shown.after, "\r\n");
  const std::string& got = door_->CallerReceived();
  EXPECT_EQ(static_cast<size_t>(std::count(got.begin(), got.end(), kFiller)), kMaxLine - 5);
}

// A server that leaves in the middle of a long line: the next connection starts afresh, and its
// first line is handled, not dropped as the rest of the old one.
TEST_F(LongLine, ServerLeavingInsideALongLineDoesNotCostTheNextServersFirstLine) {
  server_.Send(LineOfLength(kMaxLine + 1000));
  ASSERT_TRUE(door_->CallerWaitFor(std::string(kMaxLine - 5, kFiller) + "\r\n", 30'000));
  server_.Close();
  door_->CallerTypes("/serverlist\r");
  ASSERT_TRUE(server_.Accept(10'000));
  ASSERT_TRUE(server_.WaitForLine("USER ", 10'000));
  server_.SendLine("PING :fresh");
  EXPECT_TRUE(server_.WaitForLine("PONG :fresh", 10'000));
}

// Runs the door without AddressSanitizer's quarantine, which keeps freed memory resident on
// purpose and would hide what the door itself holds at its peak. No effect on other builds.
class LongLineMemory : public LongLine {
 protected:
  void SetUp() override {
    const char* old = std::getenv("ASAN_OPTIONS");
    const std::string saved = old != nullptr ? old : "";
    setenv("ASAN_OPTIONS", (saved + (saved.empty() ? "" : ":") + "quarantine_size_mb=0").c_str(), 1);
    LongLine::SetUp();
    if (old != nullptr) {
      setenv("ASAN_OPTIONS", saved.c_str(), 1);
    } else {
      unsetenv("ASAN_OPTIONS");
    }
  }
};

// 50 MB in one line: the door's peak memory stays far below the line's size.
TEST_F(LongLineMemory, FiftyMegabyteLineKeepsMemoryBounded) {
  const long before_kib = testsupport::PeakRssKib(door_->pid());
  ASSERT_GT(before_kib, 0);
  SendThenPing(LineOfLength(50u << 20) + "\r\n", "after-50mb", 120'000);
  const long peak_kib = testsupport::PeakRssKib(door_->pid());
  printf("[ figures  ] door peak RSS: %ld KiB after start-up, %ld KiB after a 50 MB line\n", before_kib,
         peak_kib);
  EXPECT_LT(peak_kib - before_kib, 20 * 1024);
  EXPECT_EQ(ShownLine(0).filler, kMaxLine - 5);
}

}  // namespace
