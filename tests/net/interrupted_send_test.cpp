// Sends that signals keep interrupting still put whole lines on the wire, in order: the peer of
// a TcpLink never sees half an IRC line followed by the next one.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "net/tcp_link.h"
#include "support/dial_link.h"
#include "support/sockets.h"

namespace {

std::atomic<int> g_interruptions{0};

void CountInterruption(int) {
  g_interruptions.fetch_add(1, std::memory_order_relaxed);
}

// Installs a SIGUSR1 handler without SA_RESTART, so that every signal cuts the system call short.
class InterruptingHandler {
 public:
  InterruptingHandler() {
    struct sigaction sa {};
    sa.sa_handler = CountInterruption;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGUSR1, &sa, &old_);
  }
  ~InterruptingHandler() { sigaction(SIGUSR1, &old_, nullptr); }

 private:
  struct sigaction old_ {};
};

std::string Line(int i) {
  std::string text = "PRIVMSG #chan :line " + std::to_string(i) + " ";
  text.append(200 + i % 300, static_cast<char>('a' + i % 26));
  return text;
}

TEST(InterruptedSend, PeerGetsEveryLineWhole) {
  InterruptingHandler handler;
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  ASSERT_GE(listener, 0);
  net::TcpLink link;
  link.Init();
  ASSERT_TRUE(testsupport::DialLink(link, "127.0.0.1", port));
  const int peer = testsupport::AcceptWithin(listener, 2000);
  ASSERT_GE(peer, 0);
  // Small buffers make every large send block, and so be interrupted part way.
  const int small = 32 * 1024;
  setsockopt(peer, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  setsockopt(link.Fd(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

  constexpr int kLines = 2000;
  std::string expected;
  std::string burst;
  for (int i = 0; i < kLines; ++i) {
    const std::string line = Line(i) + "\r\n";
    expected += line;
    if (i >= kLines / 2) burst += line;
  }

  std::string received;
  std::atomic<bool> sending{true};
  std::thread reader([&] {
    char buffer[1024];
    for (;;) {
      const ssize_t n = read(peer, buffer, sizeof buffer);
      if (n <= 0) break;
      received.append(buffer, static_cast<size_t>(n));
      if (received.size() >= expected.size()) break;
    }
  });
  const pthread_t sender = pthread_self();
  std::thread interrupter([&] {
    while (sending.load()) {
      pthread_kill(sender, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  // Half as one line at a time, half as one large send; what the socket does not take at once
  // waits in the queue, written out whenever there is room.
  bool all_sent = true;
  const auto drain = [&] {
    while (link.IsOpen() && !link.FlushQueue()) {
      pollfd p{link.Fd(), POLLOUT, 0};
      poll(&p, 1, 100);
    }
  };
  for (int i = 0; i < kLines / 2; ++i) {
    all_sent = link.SendLine(Line(i)) && all_sent;
    drain();
  }
  all_sent = link.Send(burst) && all_sent;
  drain();
  sending = false;
  interrupter.join();
  link.Close(true);  // the reader sees the end, however much arrived
  reader.join();

  EXPECT_TRUE(all_sent);
  EXPECT_GT(g_interruptions.load(), 0);
  ASSERT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected) << "the peer received the lines cut or out of order";
  close(peer);
  close(listener);
}

}  // namespace
