// A server that stops reading what the door sends while it goes on sending (PINGs, each of which
// the door answers), through the real binary: the door never waits for it. Keys are still
// echoed, a server that leaves more than 1 MiB unsent is given up with a status line, and a
// termination signal or the caller's hang-up ends the visit at once.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "support/certificate.h"
#include "support/door_process.h"
#include "support/scoped_env.h"
#include "support/scripted_server.h"
#include "support/sockets.h"
#include "support/temp_ini.h"
#include "support/tls_server.h"

namespace {

using testsupport::DoorProcess;
using testsupport::OneNetworkIni;
using testsupport::ScopedEnv;
using testsupport::ScriptedServer;
using testsupport::TestCertificate;
using testsupport::TlsServer;
using Clock = std::chrono::steady_clock;

constexpr int kSmallBuffer = 4096;
constexpr std::string_view kTooMuchUnsent = "Server not reading: over 1 MiB waiting to be sent";
// The goodbye on a signal or a hang-up takes a 1.5 s pause; the rest is room for a loaded machine.
constexpr int kEndsWithinMs = 4000;

int MsSince(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// 64 KiB of PINGs; the door's answer to each is as long as the PING.
std::string Pings() {
  const std::string line = "PING :" + std::string(500, 'p') + "\r\n";
  std::string pings;
  while (pings.size() + line.size() <= 64 * 1024) pings += line;
  return pings;
}

// What a loopback connection like the door's takes from its writer before the writer would have
// to wait, when the reader has a small buffer and reads nothing: the door's answers beyond this
// used to leave it stuck in a send.
size_t LoopbackBuffering() {
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &kSmallBuffer, sizeof kSmallBuffer);
  const int writer = testsupport::ConnectLoopback(port);
  const int reader = testsupport::AcceptWithin(listener, 2000);
  const std::string chunk = Pings();
  size_t total = 0;
  for (int idle = 0; idle < 10;) {
    const ssize_t n = send(writer, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      total += static_cast<size_t>(n);
      idle = 0;
    } else {
      ++idle;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  close(writer);
  close(reader);
  close(listener);
  return total;
}

// Sends PINGs from its own thread until told to stop or `limit` bytes have gone (0: no limit);
// never held up by a door that has stopped reading.
class PingSpam {
 public:
  PingSpam(ScriptedServer& server, size_t limit)
      : thread_([this, &server, limit] {
          const std::string pings = Pings();
          while (!stop_ && (limit == 0 || sent_ < limit)) {
            const size_t taken = server.SendWithin(pings, 20);
            sent_ += taken;
            if (taken == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
          done_ = true;
        }) {}
  ~PingSpam() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // Waits until the limit has gone (true) or timeout_ms has passed.
  bool WaitDone(int timeout_ms) {
    for (auto start = Clock::now(); MsSince(start) < timeout_ms;) {
      if (done_) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done_;
  }
  size_t sent() const { return sent_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<size_t> sent_{0};
  std::thread thread_;
};

// A registered visit whose server reads nothing after the registration.
class ServerNotReading : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.SetReceiveBuffer(kSmallBuffer);
    door_ = std::make_unique<DoorProcess>(OneNetworkIni(server_.port()));
    door_->StartWithCaller();
    ASSERT_TRUE(server_.Accept(10'000));
    ASSERT_TRUE(server_.WaitForLine("USER ", 10'000)) << server_.received();
    server_.SendLine(":irc.test 001 Wolf :Welcome");
    ASSERT_TRUE(door_->CallerWaitFor("[Status] ", 10'000)) << door_->CallerReceived();
  }

  ScriptedServer server_;
  std::unique_ptr<DoorProcess> door_;
};

TEST_F(ServerNotReading, IsGivenUpWithAStatusLineWhileKeysAreStillEchoed) {
  {
    PingSpam spam(server_, 0);
    door_->CallerTypes("abc");
    ASSERT_TRUE(door_->CallerWaitFor(kTooMuchUnsent, 30'000)) << door_->CallerReceived().substr(0, 2000);
    EXPECT_TRUE(server_.WaitForClose(10'000));
    printf("[ figures  ] the server was given up after %zu bytes of PINGs\n", spam.sent());
  }
  // Typed while the server flooded, and after it has gone.
  const size_t status_at = door_->CallerReceived().find(kTooMuchUnsent);
  EXPECT_NE(door_->CallerReceived().find("abc"), std::string::npos);
  door_->CallerTypes("xyz");
  ASSERT_TRUE(door_->CallerWaitFor("xyz", 5000));
  EXPECT_GT(door_->CallerReceived().rfind("xyz"), status_at);
  door_->CallerTypes("\b\b\b\b\b\b/quit\r");
  EXPECT_EQ(door_->WaitExit(10'000), 0);
}

enum class Ending { kSigterm, kHangUp };

class EndingWhileServerNotReading : public ServerNotReading, public ::testing::WithParamInterface<Ending> {};

// The door has answered more than the connection holds, but less than the bound: it is waiting
// for the server to take the rest when the visit ends.
TEST_P(EndingWhileServerNotReading, EndsAtOnce) {
  const size_t buffering = LoopbackBuffering();
  PingSpam spam(server_, buffering + 768 * 1024);
  EXPECT_TRUE(spam.WaitDone(10'000)) << "the door stopped reading after " << spam.sent() << " bytes";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the last PINGs answered
  const auto ended = Clock::now();
  if (GetParam() == Ending::kSigterm) {
    door_->Signal(SIGTERM);
  } else {
    door_->CloseCaller();
  }
  const int code = door_->WaitExit(10'000);
  const int ms = MsSince(ended);
  printf("[ figures  ] %zu bytes of PINGs (the connection holds %zu); the door ended %d ms after\n",
         spam.sent(), buffering, ms);
  EXPECT_EQ(code, 0);
  EXPECT_LT(ms, kEndsWithinMs);
}

INSTANTIATE_TEST_SUITE_P(SignalAndHangUp, EndingWhileServerNotReading,
                         ::testing::Values(Ending::kSigterm, Ending::kHangUp), [](const auto& info) {
                           return info.param == Ending::kSigterm ? "Sigterm" : "HangUp";
                         });

// ---- the same over TLS: the door's session reports that it wants to write ----

// A TLS server on a loopback port with a small receive buffer, trusted by the door through
// SSL_CERT_FILE.
class TlsServerNotReading : public ::testing::TestWithParam<Ending> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cert_.ok());
    listener_ = testsupport::ListenLoopback(&port_);
    setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &kSmallBuffer, sizeof kSmallBuffer);
    door_ = std::make_unique<DoorProcess>(
        "[general]\nhandle=Wolf\nusername=Joe Smith\n[Secure]\nlocalhost=+" + std::to_string(port_) + "\n");
    door_->StartWithCaller();
    tls_ = std::make_unique<TlsServer>(cert_.cert_file(), cert_.key_file());
    ASSERT_TRUE(tls_->Accept(listener_, 10'000));
    std::string got;
    char buffer[4096];
    for (auto start = Clock::now(); got.find("USER ") == std::string::npos && MsSince(start) < 10'000;) {
      pollfd p{tls_->fd(), POLLIN, 0};
      poll(&p, 1, 20);
      const long n = tls_->ReadNow(buffer, sizeof buffer);
      if (n < 0) break;
      got.append(buffer, static_cast<size_t>(n));
    }
    ASSERT_NE(got.find("USER "), std::string::npos) << got;
    tls_->WriteNow(":irc.test 001 Wolf :Welcome\r\n");
    ASSERT_TRUE(door_->CallerWaitFor("[Status] ", 10'000)) << door_->CallerReceived();
  }
  void TearDown() override {
    Stop();
    if (listener_ >= 0) close(listener_);
  }

  // PINGs from a thread of their own, until Stop, `limit` bytes (0: none) or a failed write. A
  // write the session could not finish is repeated with the same bytes, as TLS wants.
  void Spam(size_t limit) {
    spam_ = std::thread([this, limit] {
      const std::string pings = Pings();
      size_t offset = 0;
      while (!stop_ && (limit == 0 || sent_ < limit)) {
        const long n = tls_->WriteNow(std::string_view(pings).substr(offset));
        if (n < 0) break;
        if (n == 0) {
          pollfd p{tls_->fd(), POLLOUT, 0};
          poll(&p, 1, 20);
          continue;
        }
        sent_ += static_cast<size_t>(n);
        offset = (offset + static_cast<size_t>(n)) % pings.size();
      }
      done_ = true;
    });
  }
  bool WaitDone(int timeout_ms) {
    for (auto start = Clock::now(); !done_ && MsSince(start) < timeout_ms;)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done_;
  }
  void Stop() {
    stop_ = true;
    if (spam_.joinable()) spam_.join();
  }

  TestCertificate cert_{"localhost", "DNS:localhost"};
  ScopedEnv trust_ = cert_.Trust();
  int listener_ = -1;
  int port_ = 0;
  std::unique_ptr<DoorProcess> door_;
  std::unique_ptr<TlsServer> tls_;
  std::thread spam_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> done_{false};
  std::atomic<size_t> sent_{0};
};

TEST_F(TlsServerNotReading, IsGivenUpWithAStatusLineWhileKeysAreStillEchoed) {
  Spam(0);
  door_->CallerTypes("abc");
  ASSERT_TRUE(door_->CallerWaitFor(kTooMuchUnsent, 30'000)) << door_->CallerReceived().substr(0, 2000);
  EXPECT_TRUE(WaitDone(10'000));  // the door has closed the connection
  Stop();
  EXPECT_NE(door_->CallerReceived().find("abc"), std::string::npos);
  door_->CallerTypes("xyz");
  EXPECT_TRUE(door_->CallerWaitFor("xyz", 5000));
  door_->CallerTypes("\b\b\b\b\b\b/quit\r");
  EXPECT_EQ(door_->WaitExit(10'000), 0);
}

TEST_P(TlsServerNotReading, EndsAtOnce) {
  const size_t buffering = LoopbackBuffering();
  Spam(buffering + 768 * 1024);
  EXPECT_TRUE(WaitDone(10'000)) << "the door stopped reading after " << sent_ << " bytes";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto ended = Clock::now();
  if (GetParam() == Ending::kSigterm) {
    door_->Signal(SIGTERM);
  } else {
    door_->CloseCaller();
  }
  const int code = door_->WaitExit(10'000);
  const int ms = MsSince(ended);
  printf("[ figures  ] TLS: %zu bytes of PINGs; the door ended %d ms after\n", sent_.load(), ms);
  EXPECT_EQ(code, 0);
  EXPECT_LT(ms, kEndsWithinMs);
}

INSTANTIATE_TEST_SUITE_P(SignalAndHangUp, TlsServerNotReading,
                         ::testing::Values(Ending::kSigterm, Ending::kHangUp), [](const auto& info) {
                           return info.param == Ending::kSigterm ? "Sigterm" : "HangUp";
                         });

}  // namespace
