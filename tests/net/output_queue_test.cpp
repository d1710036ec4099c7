// Queued output: the bounded queue itself, and a link writing it to a peer that reads slowly.
#include "net/output_queue.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <tuple>

#include "net/tcp_link.h"
#include "support/sockets.h"

namespace {

using net::OutputQueue;

// Ten numbered lines of 20 bytes each, "line 00 ..........\r\n".
std::string Lines(int from, int count) {
  std::string out;
  for (int i = from; i < from + count; ++i) {
    std::string line = "line " + std::string(i < 10 ? "0" : "") + std::to_string(i) + " ";
    line.resize(18, '.');
    out += line + "\r\n";
  }
  return out;
}

OutputQueue SmallQueue() {
  OutputQueue queue(200);
  queue.SetSkipNotice("[skipped ", "]\r\n");
  return queue;
}

TEST(OutputQueue, KeepsOrderAcrossSendsAndCompaction) {
  OutputQueue queue;
  std::string all, sent;
  for (int round = 0; round < 300; ++round) {
    const std::string piece = Lines(round % 90, 1000);  // 20 KB
    all += piece;
    queue.Append(piece);
    const size_t take = queue.size() * 2 / 3;  // the socket takes part of what waits
    sent += queue.Pending().substr(0, take);
    queue.Consume(take);
  }
  sent += queue.Pending();
  queue.Consume(queue.size());
  EXPECT_TRUE(queue.empty());
  EXPECT_EQ(sent, all);
  EXPECT_EQ(queue.skipped_total(), 0u);
}

TEST(OutputQueue, OverTheLimitTheOldestWholeLinesGiveWayToANotice) {
  OutputQueue queue = SmallQueue();
  queue.Append(Lines(0, 10));  // exactly the limit
  EXPECT_EQ(queue.size(), 200u);
  queue.Append(Lines(10, 1));
  // Room for the new line and the notice: lines 0 to 2 go, whole.
  EXPECT_EQ(queue.Pending(), "[skipped 60]\r\n" + Lines(3, 8));
  EXPECT_EQ(queue.skipped_total(), 60u);
  EXPECT_LE(queue.size(), 200u);
}

TEST(OutputQueue, TheLineBeingSentIsFinishedBeforeTheNotice) {
  OutputQueue queue = SmallQueue();
  queue.Append(Lines(0, 10));
  queue.Consume(5);  // "line " has left: a terminal must get the rest of that line
  queue.Append(Lines(10, 2));
  const std::string rest_of_first = Lines(0, 1).substr(5);
  ASSERT_EQ(queue.Pending().substr(0, rest_of_first.size()), rest_of_first);
  EXPECT_EQ(queue.Pending().substr(rest_of_first.size()), "[skipped 80]\r\n" + Lines(5, 7));
}

TEST(OutputQueue, DropsInARowAddUpInOneNotice) {
  OutputQueue queue = SmallQueue();
  queue.Append(Lines(0, 10));
  queue.Append(Lines(10, 1));
  queue.Append(Lines(11, 3));
  const std::string pending(queue.Pending());
  EXPECT_EQ(pending.find("[skipped "), 0u);
  EXPECT_EQ(pending.find("[skipped ", 1), std::string::npos);
  const size_t count = std::stoul(pending.substr(9));
  EXPECT_EQ(count, queue.skipped_total());
  // What is left after the notice is the newest lines, whole and in order.
  const std::string kept = pending.substr(pending.find("\n") + 1);
  EXPECT_EQ(kept, Lines(14 - static_cast<int>(kept.size() / 20), static_cast<int>(kept.size() / 20)));
  EXPECT_EQ(count + kept.size(), 14 * 20u);
}

TEST(OutputQueue, ALineLargerThanTheLimitIsDroppedWhole) {
  OutputQueue queue = SmallQueue();
  queue.Append(std::string(500, 'x'));
  EXPECT_EQ(queue.Pending(), "[skipped 500]\r\n");
  queue.Append("after\r\n");
  EXPECT_EQ(queue.Pending(), "[skipped 500]\r\nafter\r\n");
}

// ---- a link writing its queue ----

struct QueuedPair {
  QueuedPair() {
    std::tie(link_fd, peer) = testsupport::SocketPair();
    const int small = 4096;
    setsockopt(link_fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    link.Init();
    link.Adopt(link_fd);
    testsupport::ReadAvailable(peer, 0);  // the telnet offers
  }
  ~QueuedPair() {
    link.Close(false);
    close(link_fd);
    if (peer >= 0) close(peer);
  }
  net::TcpLink link;
  int link_fd = -1;
  int peer = -1;
};

TEST(QueuedLink, WritesWhatTheSocketTakesAndTheRestLater) {
  QueuedPair p;
  const std::string text = Lines(0, 50) + Lines(50, 50);
  std::string all;
  for (int i = 0; i < 100; ++i) all += text;  // 400 KB, far more than the socket holds
  p.link.Queue(all);
  EXPECT_FALSE(p.link.FlushQueue());  // returns at once with most of it still queued
  EXPECT_GT(p.link.QueuedBytes(), all.size() / 2);
  std::string got;
  while (p.link.HasQueued() || got.size() < all.size()) {
    pollfd fd{p.peer, POLLIN, 0};
    poll(&fd, 1, 1000);
    const std::string chunk = testsupport::ReadAvailable(p.peer, 0);
    if (chunk.empty() && !p.link.HasQueued()) break;
    got += chunk;
    p.link.FlushQueue();
  }
  EXPECT_EQ(got, all);
  // A plain send waits for what is queued before it.
  p.link.Queue("queued ");
  p.link.Send("sent");
  p.link.FlushQueue();
  EXPECT_EQ(testsupport::ReadAvailable(p.peer, 100), "queued sent");
}

TEST(QueuedLink, APeerThatHasGoneTakesTheQueueWithItQuietly) {
  QueuedPair p;
  sighandler_t old = signal(SIGPIPE, SIG_DFL);  // a SIGPIPE would end the test program
  p.link.Queue(std::string(100'000, 'x'));
  p.link.FlushQueue();
  close(p.peer);
  p.peer = -1;
  EXPECT_TRUE(p.link.FlushQueue());
  EXPECT_FALSE(p.link.HasQueued());
  signal(SIGPIPE, old);

  p.link.Close(false);
  p.link.Queue("after the end");  // a closed link drops output silently
  EXPECT_FALSE(p.link.HasQueued());
}

}  // namespace
