// Output to a caller whose link is slower than the door: batches, the queue written while the
// door waits, the notice for dropped output, and the bounded wait at the end.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <string>

#include "door/door.h"
#include "door/durations.h"
#include "platform/console.h"
#include "support/door_fixture.h"
#include "support/sockets.h"

namespace door {
namespace {

using testsupport::DoorFixture;

std::string NumberedLine(int i) {
  return "\x7F"
         "7line " +
         std::to_string(i) + " " + std::string(60, '.');
}

// The door's end of the caller's socket holds little, so that output has to wait in the queue.
void ShrinkSendBuffer(DoorFixture& f) {
  const int small = 4096;
  setsockopt(f.door->visit.caller_socket, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
}

// Reads what the caller gets while the door waits, until the door has nothing queued.
std::string ReadWhileTheDoorWaits(DoorFixture& f) {
  std::string got;
  for (int round = 0; round < 100'000; ++round) {
    got += f.CallerReceived();
    if (!f.door->caller.HasQueued()) break;
    f.door->WaitForEvent();
  }
  return got + f.CallerReceived();
}

TEST(CallerQueue, ABatchLeavesInOnePieceWhenItEnds) {
  DoorFixture f;
  {
    OutputBatch batch(*f.door);
    f.door->DoorWriteLn(
        "\x7F"
        "Cone");
    {
      OutputBatch inner(*f.door);
      f.door->DoorWrite("two");
    }
    EXPECT_EQ(f.CallerReceived(), "");                    // still inside the outer batch
    EXPECT_EQ(f.console.RowText(2).substr(0, 3), "two");  // the sysop sees it at once
  }
  EXPECT_EQ(f.CallerReceived(), "\x1b[1;31mone\r\ntwo");
}

TEST(CallerQueue, ACallerThatDoesNotReadNeverHoldsTheDoor) {
  DoorFixture f;
  ShrinkSendBuffer(f);
  std::string expected;
  for (int i = 0; i < 20'000; ++i) {  // 1.5 MB: returns at once, although the caller reads nothing
    f.door->DoorWriteLn(NumberedLine(i));
    expected += "\x1b[0;37mline " + std::to_string(i) + " " + std::string(60, '.') + "\r\n";
  }
  EXPECT_GT(f.door->caller.QueuedBytes(), expected.size() / 2);
  EXPECT_EQ(ReadWhileTheDoorWaits(f), expected);
}

TEST(CallerQueue, DroppedOutputIsReplacedByANoticeToTheCaller) {
  DoorFixture f;
  ShrinkSendBuffer(f);
  f.door->caller.output_queue().SetLimit(20'000);
  std::string written;
  for (int i = 0; i < 2'000; ++i) {
    f.door->DoorWriteLn(NumberedLine(i));
    written += "\x1b[0;37mline " + std::to_string(i) + " " + std::string(60, '.') + "\r\n";
  }
  const std::string got = ReadWhileTheDoorWaits(f);
  const std::string notice_start =
      "\x1b[0;37m\x1b[1;31m\xF9\x1b[1;37m\xED\x1b[1;31m\xF9\x1b[0;37m Output skipped: ";
  const std::string notice_end = " bytes (your connection is too slow)\r\n";
  const size_t at = got.find(notice_start);
  ASSERT_NE(at, std::string::npos) << got.substr(0, 300);
  const size_t end = got.find(notice_end, at);
  ASSERT_NE(end, std::string::npos);
  const size_t skipped = std::stoul(got.substr(at + notice_start.size()));
  // Before the notice: the start of what was written; after it: the end of it. Nothing else.
  const std::string before = got.substr(0, at);
  const std::string after = got.substr(end + notice_end.size());
  EXPECT_EQ(written.substr(0, before.size()), before);
  EXPECT_EQ(written.substr(written.size() - after.size()), after);
  EXPECT_EQ(before.size() + skipped + after.size(), written.size());
  EXPECT_EQ(got.find(notice_start, at + 1), std::string::npos);
  // The sysop's console saw every line.
  EXPECT_EQ(f.console.RowText(23).substr(0, 10), "line 1999 ");
}

TEST(CallerQueue, TheWaitAtTheEndIsBounded) {
  DoorFixture f;
  ShrinkSendBuffer(f);
  for (int i = 0; i < 2'000; ++i) f.door->DoorWriteLn(NumberedLine(i));
  ASSERT_TRUE(f.door->caller.HasQueued());
  const int64_t start = f.door->MsOfDay();
  EXPECT_EQ(f.door->DrainOutput(2000), 2000);  // the caller never reads
  EXPECT_EQ(MsSince(start, f.door->MsOfDay()), 2000);
  EXPECT_TRUE(f.door->caller.HasQueued());

  f.DropCarrier();  // a caller that has gone costs no wait at all
  f.door->caller.Poll();
  EXPECT_EQ(f.door->DrainOutput(2000), 0);
}

}  // namespace
}  // namespace door
