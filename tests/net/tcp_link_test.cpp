#include "net/tcp_link.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "gtest/gtest.h"
#include "support/dial_link.h"
#include "support/sockets.h"

namespace {

using testsupport::ListenLoopback;
using testsupport::ReadAvailable;
using testsupport::SocketPair;
using testsupport::WriteAll;

const std::string kTelnetOffers(net::kTelnetOpeningOffers);

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

bool FdIsOpen(int fd) {
  return fcntl(fd, F_GETFD) != -1;
}

// True when the other end has shut down: the socket becomes readable and reads end of stream.
bool PeerSeesEnd(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return false;
  char c;
  return recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

// The lowest free descriptor number: unchanged by an operation that leaks nothing.
int LowestFreeFd() {
  int fd = dup(0);
  close(fd);
  return fd;
}

long ElapsedMs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
      .count();
}

// A send to a vanished peer must fail quietly even where nobody ignores SIGPIPE.
class DefaultSigpipe {
 public:
  DefaultSigpipe() { old_ = signal(SIGPIPE, SIG_DFL); }
  ~DefaultSigpipe() { signal(SIGPIPE, old_); }

 private:
  sighandler_t old_;
};

// One end of a socket pair adopted by a link (the telnet offers already drained), the other end
// playing the caller. With telnet off the link's own framing is seen bare, as on the IRC link.
struct AdoptedPair {
  explicit AdoptedPair(bool telnet = false) {
    std::tie(link_fd, peer) = SocketPair();
    link.Init();
    adopted =
        telnet ? link.Adopt(link_fd) : link.AdoptTransport(platform::AdoptSocket(link_fd), false, false);
    ReadAvailable(peer, 0);  // the telnet offers
  }
  ~AdoptedPair() {
    link.Close(false);
    CloseFd(link_fd);
    CloseFd(peer);
  }
  // The peer sends bytes and the link reads them with one Poll.
  void Receive(std::string_view bytes) {
    WriteAll(peer, bytes);
    link.Poll();
  }

  net::TcpLink link;
  int link_fd = -1;
  int peer = -1;
  bool adopted = false;
};

// A link connected to a listening loopback socket, with the accepted server end.
struct ConnectedPair {
  ConnectedPair() {
    listener = ListenLoopback(&port);
    link.Init();
    connected = testsupport::DialLink(link, "127.0.0.1", port);
    if (connected) server = testsupport::AcceptWithin(listener, 2000);
  }
  ~ConnectedPair() {
    link.Done();
    CloseFd(server);
    CloseFd(listener);
  }

  net::TcpLink link;
  int listener = -1;
  int port = 0;
  int server = -1;
  bool connected = false;
};

struct NormalisationCase {
  const char* name;
  std::vector<std::string> reads;  // each arrives and is polled on its own
  std::string expected;
};

TEST(TcpLinkTest, LineEndsAreFoldedToCr) {
  using S = std::string;
  const NormalisationCase cases[] = {
      {"CR LF and lone LF in one read", {"abc\r\ndef\n"}, "abc\rdef\r"},
      {"CR LF split across reads", {"abc\r", "\ndef"}, "abc\rdef"},
      {"LF as the very first byte", {"\n"}, "\r"},
      {"lone CR stays", {"a\rb\r"}, "a\rb\r"},
      {"two LFs are two line ends", {"\n\n"}, "\r\r"},
      {"CR LF then LF", {"a\r\n\nb"}, "a\r\rb"},
      {"CR CR LF", {"\r\r\n"}, "\r\r"},
      {"LF ending a read does not swallow the next", {"a\n", "\nb"}, "a\r\rb"},
      {"CR then a read starting with another byte", {"a\r", "b\n"}, "a\rb\r"},
      // A NUL is dropped on its own: the bytes after it, line ends included, are kept.
      {"NUL dropped, the rest of its read kept", {S("ab\0cd\r\nPING :x\r\n", 15)}, "abcd\rPING :x\r"},
      {"NULs only", {S("\0\0\0", 3)}, ""},
      {"NUL first and last", {S("\0xy\0", 4), "z"}, "xyz"},
      {"NUL between CR and LF", {S("a\r\0\nb", 5)}, "a\rb"},
      {"CR, then a read of NUL and LF", {S("a\r\0", 3), S("\0\nb", 3)}, "a\rb"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AdoptedPair p;
    ASSERT_TRUE(p.adopted);
    for (const auto& read : c.reads) p.Receive(read);
    EXPECT_EQ(p.link.Buffer(), c.expected);
  }
}

// A telnet caller: negotiation and subnegotiation never reach the buffer, CR NUL is one Enter,
// and 0xFF in output is doubled; the line ends are folded as without telnet.
TEST(TcpLinkTest, TelnetCallerIsDecodedAndEscaped) {
  using S = std::string;
  AdoptedPair p(/*telnet=*/true);
  ASSERT_TRUE(p.adopted);
  p.Receive(S("\xFF\xFB\x1F\xFF\xFA\x1F\x00\x50", 8));
  p.Receive(S("\x00\x19\xFF\xF0one\r\0two\r\0", 14));
  p.Receive("x\ny\xFF\xFF");
  EXPECT_EQ(p.link.Buffer(), "one\rtwo\rx\ry\xFF");
  p.link.Send("a\xFF");
  p.link.Queue("b\xFF");
  p.link.FlushQueue();
  EXPECT_EQ(ReadAvailable(p.peer, 0),
            "a\xFF\xFF"
            "b\xFF\xFF");
}

TEST(TcpLinkTest, CrLfSplitAcrossReadsFoldsEvenWhenTheCrWasConsumed) {
  AdoptedPair p;
  p.Receive("abc\r");
  EXPECT_EQ(p.link.TakeBuffer(), "abc\r");
  EXPECT_EQ(p.link.Buffer(), "");
  p.Receive("\ndef");
  EXPECT_EQ(p.link.TakeBuffer(), "def");

  p.Receive("x\r");
  EXPECT_EQ(p.link.ReadChar(), 'x');
  EXPECT_EQ(p.link.ReadChar(), '\r');
  p.Receive("\n");
  EXPECT_EQ(p.link.Buffer(), "");
}

TEST(TcpLinkTest, OnePollDrainsABurstInFullSizedReads) {
  AdoptedPair p;
  p.Receive(std::string(4096, 'x'));
  EXPECT_EQ(p.link.TakeBuffer(), std::string(4096, 'x'));

  // The CR ends the first 4096-byte read and its LF starts the second.
  p.Receive(std::string(4095, 'a') + "\r\nb");
  EXPECT_EQ(p.link.TakeBuffer(), std::string(4095, 'a') + "\rb");

  std::string burst, expected;
  for (int i = 0; i < 400; ++i) {
    std::string line = std::to_string(i) + std::string(140, '.');
    burst += line + "\r\n";
    expected += line + "\r";
  }
  p.Receive(burst);
  EXPECT_TRUE(p.link.IsOpen());
  EXPECT_EQ(p.link.Buffer().size(), expected.size());
  EXPECT_EQ(p.link.Buffer(), expected);
}

TEST(TcpLinkTest, DataWaitingPollsOnlyAnEmptyBuffer) {
  AdoptedPair p;
  p.link.Buffer() = "x";
  WriteAll(p.peer, "y");
  EXPECT_TRUE(p.link.DataWaiting());
  EXPECT_EQ(p.link.Buffer(), "x");

  EXPECT_EQ(p.link.TakeBuffer(), "x");
  EXPECT_TRUE(p.link.DataWaiting());
  EXPECT_EQ(p.link.Buffer(), "y");
  p.link.Buffer().clear();
  EXPECT_FALSE(p.link.DataWaiting());
}

TEST(TcpLinkTest, PeerCloseLeavesBufferedDataReadable) {
  AdoptedPair p;
  WriteAll(p.peer, "bye");
  CloseFd(p.peer);
  p.link.Poll();
  EXPECT_FALSE(p.link.IsOpen());
  EXPECT_EQ(p.link.Fd(), -1);
  EXPECT_TRUE(p.link.DataWaiting());
  EXPECT_EQ(p.link.ReadChar(), 'b');
  EXPECT_EQ(p.link.ReadChar(), 'y');
  EXPECT_EQ(p.link.ReadChar(), 'e');
  EXPECT_EQ(p.link.ReadChar(), '\0');
  EXPECT_FALSE(p.link.DataWaiting());
}

TEST(TcpLinkTest, ReadCharWaitsForDataAndReturnsNulWhenTheLinkCloses) {
  AdoptedPair p;
  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WriteAll(p.peer, "k");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    shutdown(p.peer, SHUT_WR);
  });
  EXPECT_EQ(p.link.ReadChar(), 'k');
  EXPECT_EQ(p.link.ReadChar(), '\0');
  writer.join();
  EXPECT_FALSE(p.link.IsOpen());

  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(p.link.ReadChar(), '\0');
  EXPECT_LT(ElapsedMs(start), 100);
}

TEST(TcpLinkTest, EndOfStreamOnAnAdoptedLinkOnlyForgetsTheSocket) {
  AdoptedPair p;
  shutdown(p.peer, SHUT_WR);
  p.link.Poll();
  ASSERT_FALSE(p.link.IsOpen());
  ASSERT_TRUE(FdIsOpen(p.link_fd));
  WriteAll(p.link_fd, "still here");
  EXPECT_EQ(ReadAvailable(p.peer, 0), "still here");
}

TEST(TcpLinkTest, EndOfStreamOnAnOwnedLinkClosesTheSocket) {
  ConnectedPair c;
  ASSERT_TRUE(c.connected);
  ASSERT_GE(c.server, 0);
  int fd = c.link.Fd();
  CloseFd(c.server);
  EXPECT_EQ(c.link.ReadChar(), '\0');
  EXPECT_FALSE(c.link.IsOpen());
  EXPECT_FALSE(FdIsOpen(fd));
}

TEST(TcpLinkTest, CloseFalseForgetsAndCloseTrueShutsDown) {
  {
    AdoptedPair p;
    p.Receive("left");
    p.link.Close(false);
    EXPECT_FALSE(p.link.IsOpen());
    EXPECT_EQ(p.link.Buffer(), "left");
    p.link.Send("lost");  // silently dropped on a closed link
    WriteAll(p.link_fd, "owner");
    EXPECT_EQ(ReadAvailable(p.peer, 0), "owner");
  }
  {
    AdoptedPair p;
    p.link.Close(true);
    EXPECT_FALSE(p.link.IsOpen());
    EXPECT_TRUE(PeerSeesEnd(p.peer, 1000));
    EXPECT_FALSE(FdIsOpen(p.link_fd));
    p.link_fd = -1;
  }
  {
    // Destroying a link never takes a handed-over socket away from its owner.
    auto [fd, peer] = SocketPair();
    {
      net::TcpLink link;
      link.Init();
      ASSERT_TRUE(link.Adopt(fd));
    }
    EXPECT_TRUE(FdIsOpen(fd));
    close(fd);
    close(peer);
  }
}

TEST(TcpLinkTest, NewAdoptOrConnectShutsThePreviousSocketDown) {
  AdoptedPair p;
  auto [second, second_peer] = SocketPair();
  ASSERT_TRUE(p.link.Adopt(second));
  EXPECT_EQ(ReadAvailable(second_peer, 0), kTelnetOffers);
  EXPECT_TRUE(PeerSeesEnd(p.peer, 1000));
  EXPECT_FALSE(FdIsOpen(p.link_fd));
  p.link_fd = -1;

  int port = 0;
  int listener = ListenLoopback(&port);
  ASSERT_TRUE(testsupport::DialLink(p.link, "127.0.0.1", port));
  EXPECT_TRUE(p.link.OwnsSocket());
  EXPECT_TRUE(PeerSeesEnd(second_peer, 1000));
  p.link.Done();
  close(listener);
  close(second_peer);
}

TEST(TcpLinkTest, AdoptOffersTelnetOptionsAndReadsWhatIsWaiting) {
  auto [fd, peer] = SocketPair();
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  WriteAll(peer, "early\r\n");
  net::TcpLink link;
  link.Init();
  ASSERT_TRUE(link.Adopt(fd));
  EXPECT_FALSE(link.OwnsSocket());
  EXPECT_EQ(link.Fd(), fd);
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(ReadAvailable(peer, 0), kTelnetOffers);
  EXPECT_EQ(link.Buffer(), "early\r");
  link.Close(false);
  close(fd);
  close(peer);
}

TEST(TcpLinkTest, AdoptFailsOnADeadSocket) {
  DefaultSigpipe sigpipe;
  auto [fd, peer] = SocketPair();
  close(peer);
  net::TcpLink link;
  link.Init();
  EXPECT_FALSE(link.Adopt(fd));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_TRUE(FdIsOpen(fd));
  close(fd);

  EXPECT_FALSE(link.Adopt(-1));
  EXPECT_FALSE(link.IsOpen());
}

TEST(TcpLinkTest, SendToAVanishedPeerDoesNotKillTheProcess) {
  DefaultSigpipe sigpipe;
  AdoptedPair p;
  CloseFd(p.peer);
  p.link.Send("one");
  p.link.SendLine("two");
  p.link.Poll();
  EXPECT_FALSE(p.link.IsOpen());

  ConnectedPair c;
  ASSERT_GE(c.server, 0);
  CloseFd(c.server);
  // The first send draws a reset, the later ones fail with EPIPE.
  for (int i = 0; i < 5; ++i) {
    c.link.SendLine("PRIVMSG #c :still typing");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  SUCCEED();
}

TEST(TcpLinkTest, PlainDescriptorsWorkLikeSockets) {
  DefaultSigpipe sigpipe;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  net::TcpLink out;
  out.Init();
  ASSERT_TRUE(out.Adopt(fds[1]));
  EXPECT_EQ(ReadAvailable(fds[0], 0), kTelnetOffers);
  close(fds[0]);
  out.Send("nobody reads this");
  out.Close(false);
  close(fds[1]);

  // A descriptor that takes no writes cannot carry a screen: the failed offers end the link.
  ASSERT_EQ(pipe(fds), 0);
  net::TcpLink in;
  in.Init();
  EXPECT_FALSE(in.Adopt(fds[0]));
  ASSERT_TRUE(in.AdoptTransport(platform::AdoptSocket(fds[0]), /*owns=*/false, /*telnet=*/false));
  WriteAll(fds[1], "ab\r\n");
  in.Poll();
  EXPECT_EQ(in.Buffer(), "ab\r");
  in.Close(false);
  close(fds[0]);
  close(fds[1]);
}

TEST(TcpLinkTest, ConnectedLinkCarriesLinesBothWays) {
  ConnectedPair c;
  ASSERT_TRUE(c.connected);
  ASSERT_GE(c.server, 0);
  EXPECT_TRUE(c.link.OwnsSocket());
  c.link.SendLine("");
  EXPECT_EQ(ReadAvailable(c.server, 100), "\r\n");
  c.link.SendLine("NICK zelk");
  EXPECT_EQ(ReadAvailable(c.server, 100), "NICK zelk\r\n");

  WriteAll(c.server, ":srv 001 zelk :Welcome\r\n");
  EXPECT_EQ(c.link.ReadChar(), ':');
  c.link.Poll();
  EXPECT_EQ(c.link.TakeBuffer(), "srv 001 zelk :Welcome\r");

  c.link.Done();
  EXPECT_FALSE(c.link.IsOpen());
  EXPECT_TRUE(PeerSeesEnd(c.server, 1000));
}

TEST(TcpLinkTest, ConnectResolvesLocalhostAndUsesTheLow16BitsOfThePort) {
  int port = 0;
  int listener = ListenLoopback(&port);
  net::TcpLink link;
  link.Init();
  EXPECT_TRUE(testsupport::DialLink(link, "localhost", port));
  int server = testsupport::AcceptWithin(listener, 2000);
  EXPECT_GE(server, 0);
  close(server);
  EXPECT_TRUE(testsupport::DialLink(link, "127.0.0.1", port + 65536));
  server = testsupport::AcceptWithin(listener, 2000);
  EXPECT_GE(server, 0);
  close(server);
  link.Done();
  close(listener);
}

TEST(TcpLinkTest, ConnectFailuresLeaveTheLinkClosed) {
  int port = 0;
  close(ListenLoopback(&port));  // nothing listens there any more
  net::TcpLink link;
  link.Init();
  int free_fd = LowestFreeFd();
  EXPECT_FALSE(testsupport::DialLink(link, "127.0.0.1", port));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(LowestFreeFd(), free_fd);

  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(testsupport::DialLink(link, "no such host", 6667));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_EQ(LowestFreeFd(), free_fd);
}

}  // namespace

// ---- a peer that stops reading: sends never wait, and the bounds give the peer up ----

// Sends lines until the link's own queue holds something: the socket's buffers are full then.
void FillUntilQueued(net::TcpLink& link) {
  const std::string line = "PONG :" + std::string(400, 'p');
  for (int i = 0; i < 100'000 && link.IsOpen() && !link.HasQueued(); ++i) link.SendLine(line);
}

TEST(TcpLinkSendBounds, TooMuchUnsentClosesTheLinkAtOnce) {
  ConnectedPair c;
  ASSERT_GE(c.server, 0);
  c.link.SetSendBounds(64 * 1024, 60'000);
  FillUntilQueued(c.link);
  ASSERT_TRUE(c.link.HasQueued());
  EXPECT_EQ(c.link.TakeSendFailure(), net::TcpLink::SendFailure::kNone);
  const std::string line = "PONG :" + std::string(1000, 'q');
  int sent = 0;
  while (c.link.SendLine(line)) ++sent;
  EXPECT_LE(sent, 64);  // within the bound, then no more
  EXPECT_FALSE(c.link.IsOpen());
  EXPECT_EQ(c.link.TakeSendFailure(), net::TcpLink::SendFailure::kTooMuchQueued);
  EXPECT_EQ(c.link.TakeSendFailure(), net::TcpLink::SendFailure::kNone);  // told once
  EXPECT_FALSE(c.link.HasQueued());
}

TEST(TcpLinkSendBounds, OutputTakenByNoOneForTheStallTimeClosesTheLink) {
  ConnectedPair c;
  ASSERT_GE(c.server, 0);
  c.link.SetSendBounds(1 << 30, 1000);
  EXPECT_EQ(c.link.CheckSendProgress(0), -1);  // nothing waits: nothing to wake for
  FillUntilQueued(c.link);
  ASSERT_TRUE(c.link.HasQueued());
  EXPECT_EQ(c.link.CheckSendProgress(10'000), 1000);
  EXPECT_EQ(c.link.CheckSendProgress(10'600), 400);
  for (int i = 0; i < 4000; ++i) c.link.SendLine("PONG :" + std::string(500, 'r'));  // 2 MB more
  // The peer reads a little: progress starts the time again.
  char buffer[65536];
  int64_t due = 0;
  for (int i = 0; i < 100 && due != 1000; ++i) {
    recv(c.server, buffer, sizeof buffer, MSG_DONTWAIT);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    due = c.link.CheckSendProgress(10'900);
  }
  EXPECT_EQ(due, 1000);
  EXPECT_TRUE(c.link.IsOpen());
  ASSERT_TRUE(c.link.HasQueued());
  EXPECT_EQ(c.link.CheckSendProgress(11'899), 1);
  EXPECT_EQ(c.link.CheckSendProgress(11'900), -1);
  EXPECT_FALSE(c.link.IsOpen());
  EXPECT_EQ(c.link.TakeSendFailure(), net::TcpLink::SendFailure::kNoProgress);
}

TEST(TcpLinkSendBounds, QueuedOutputLeavesWholeAndInOrderOnceThePeerReads) {
  ConnectedPair c;
  ASSERT_GE(c.server, 0);
  c.link.SetSendBounds(1 << 30, 60'000);
  std::string expected;
  for (int i = 0; i < 200'000; ++i) {
    const std::string line = "PRIVMSG #c :line " + std::to_string(i);
    expected += line + "\r\n";
    ASSERT_TRUE(c.link.SendLine(line));
  }
  ASSERT_TRUE(c.link.HasQueued());
  std::string got;
  while (got.size() < expected.size()) {
    c.link.FlushQueue();
    const std::string more = ReadAvailable(c.server, 100);
    if (more.empty() && !c.link.HasQueued()) break;
    got += more;
  }
  EXPECT_FALSE(c.link.HasQueued());
  EXPECT_TRUE(got == expected);
}

// A write that fails is a lost link, as a failed read is.
TEST(TcpLinkSendBounds, AFailedWriteClosesTheLink) {
  DefaultSigpipe sigpipe;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  net::TcpLink out;
  out.Init();
  ASSERT_TRUE(out.AdoptTransport(platform::AdoptSocket(fds[1]), /*owns=*/false, /*telnet=*/false));
  close(fds[0]);
  out.Queue("nobody reads this");
  out.FlushQueue();
  EXPECT_FALSE(out.IsOpen());
  close(fds[1]);
}
