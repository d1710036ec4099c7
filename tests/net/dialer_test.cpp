#include "net/dialer.h"

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "support/scoped_env.h"
#include "support/sockets.h"
#include "support/tls_ngircd.h"

namespace {

using platform::Progress;
using platform::TlsFailure;
using platform::TlsSettings;
using testsupport::ScopedEnv;
using testsupport::TlsNgircd;
using SteadyClock = std::chrono::steady_clock;

// Drives a dialer with a real poll on what it wants, for at most timeout_ms.
Progress Dial(net::Dialer& dialer, int timeout_ms = 5000) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const Progress progress = dialer.Continue();
    if (progress == Progress::kDone || progress == Progress::kFailed) return progress;
    const platform::WaitFd wanted = dialer.wanted();
    EXPECT_GE(wanted.fd, 0);
    pollfd p{wanted.fd, static_cast<short>(wanted.want_read ? POLLIN : POLLOUT), 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) return progress;
    poll(&p, 1, static_cast<int>(left.count()));
  }
}

// Reads from a transport until text holds needle or timeout_ms passes.
bool ReadUntil(platform::Transport& link, std::string_view needle, int timeout_ms) {
  std::string text;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
  while (text.find(needle) == std::string::npos) {
    if (SteadyClock::now() > deadline) return false;
    char buffer[4096];
    const platform::IoResult got = link.RecvNow(buffer, sizeof buffer);
    if (got.status == platform::IoStatus::kWouldBlock) {
      link.WaitReadable(100);
      continue;
    }
    if (!got.ok()) return false;
    text.append(buffer, got.bytes);
  }
  return true;
}

TEST(Dialer, PlainConnectionCarriesBytes) {
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  net::Dialer dialer("127.0.0.1", port, std::nullopt);
  ASSERT_EQ(Dial(dialer), Progress::kDone);
  std::unique_ptr<platform::Transport> link = dialer.Take();
  ASSERT_TRUE(link);
  const int server = testsupport::AcceptWithin(listener, 2000);
  ASSERT_GE(server, 0);
  EXPECT_EQ(link->Send("NICK a\r\n", 8).bytes, 8u);
  EXPECT_EQ(testsupport::ReadAvailable(server, 100), "NICK a\r\n");
  close(server);
  close(listener);
}

// Lookups for the names below, slow as a name server can be; no name server is asked.
bool SlowLoopbackLookup(const std::string& host, unsigned char (&address)[4]) {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (host != "irc.slow.test") return false;
  const unsigned char loopback[4] = {127, 0, 0, 1};
  std::memcpy(address, loopback, 4);
  return true;
}

TEST(Dialer, NamesAreLookedUpWhileTheCallerWaitsOnADescriptor) {
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  net::Dialer found("irc.slow.test", port, std::nullopt, SlowLoopbackLookup);
  EXPECT_EQ(found.Continue(), Progress::kWantRead);
  EXPECT_TRUE(found.wanted().want_read);
  EXPECT_EQ(Dial(found), Progress::kDone);
  net::Dialer unknown("irc.unknown.test", port, std::nullopt, SlowLoopbackLookup);
  EXPECT_EQ(Dial(unknown), Progress::kFailed);
  {
    // Given up while the lookup runs: its late answer goes nowhere.
    net::Dialer abandoned("irc.slow.test", port, std::nullopt, SlowLoopbackLookup);
    EXPECT_EQ(abandoned.Continue(), Progress::kWantRead);
  }
  // localhost is the loopback address without any lookup.
  net::Dialer local("LocalHost", port, std::nullopt, SlowLoopbackLookup);
  EXPECT_NE(local.Continue(), Progress::kWantRead);
  EXPECT_EQ(Dial(local), Progress::kDone);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the abandoned lookup ends
  close(listener);
}

TEST(Dialer, RefusedConnectionAndUnusableHostsFail) {
  net::Dialer refused("127.0.0.1", testsupport::RefusingPort(), std::nullopt);  // nothing listens there
  EXPECT_EQ(Dial(refused), Progress::kFailed);
  EXPECT_FALSE(refused.Take());
  // Refused before any lookup: the first step fails, with nothing to wait for.
  for (const char* host : {"no such host", "", "tab\there", "nul"}) {
    const std::string name = std::strcmp(host, "nul") == 0 ? std::string("a\0b", 3) : host;
    net::Dialer dialer(name, 6667, std::nullopt);
    EXPECT_EQ(dialer.Continue(), Progress::kFailed) << host;
    EXPECT_EQ(dialer.wanted().fd, -1);
  }
}

// A private ngircd speaking TLS with a certificate for "localhost".
class DialerTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = TlsNgircd::StartOrNull(); }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "ngircd or openssl unavailable";
  }

  static std::string Pin(std::string fingerprint) {
    std::string raw;
    for (size_t i = 0; i + 1 < fingerprint.size(); i += 3) {
      raw.push_back(static_cast<char>(std::stoi(fingerprint.substr(i, 2), nullptr, 16)));
    }
    return raw;
  }

  static inline std::unique_ptr<TlsNgircd> server_;
};

TEST_F(DialerTls, TrustedServerRegistersOverTls) {
  const ScopedEnv trust = server_->Trust();
  net::Dialer dialer("localhost", server_->tls_port(), TlsSettings{.host = "localhost"});
  ASSERT_EQ(Dial(dialer), Progress::kDone) << static_cast<int>(dialer.tls_failure());
  std::unique_ptr<platform::Transport> link = dialer.Take();
  const std::string registration = "NICK Tess\r\nUSER Tess localhost localhost :Tess\r\n";
  ASSERT_EQ(link->Send(registration.data(), registration.size()).bytes, registration.size());
  EXPECT_TRUE(ReadUntil(*link, " 376 Tess ", 5000));
  // A line queued without waiting arrives too, and the server's answer to QUIT ends the stream.
  const std::string quit = "QUIT :bye\r\n";
  EXPECT_EQ(link->SendNow(quit.data(), quit.size()).bytes, quit.size());
  EXPECT_TRUE(ReadUntil(*link, "ERROR", 5000));
  link->Close(true);
}

struct TlsCase {
  const char* name;
  const char* host;
  bool trust_file;  // SSL_CERT_FILE names the server's certificate
  bool verify;
  int pin;              // 0 none, 1 the server's, 2 another
  int64_t unix_time;    // 0: now
  TlsFailure expected;  // kNone: the handshake succeeds
};

TEST_F(DialerTls, CertificateChecks) {
  const int64_t now = static_cast<int64_t>(time(nullptr));
  const TlsCase cases[] = {
      {"trusted by file", "localhost", true, true, 0, 0, TlsFailure::kNone},
      {"self-signed, not trusted", "localhost", false, true, 0, 0, TlsFailure::kUntrusted},
      {"trusted but other name", "127.0.0.1", true, true, 0, 0, TlsFailure::kNameMismatch},
      {"checked after it expired", "localhost", true, true, 0, now + 10 * 86400, TlsFailure::kExpired},
      {"checked before it was valid", "localhost", true, true, 0, now - 10 * 86400, TlsFailure::kNotYetValid},
      {"verification off", "127.0.0.1", false, false, 0, 0, TlsFailure::kNone},
      {"pinned, untrusted chain", "127.0.0.1", false, true, 1, 0, TlsFailure::kNone},
      {"pinned another certificate", "localhost", true, true, 2, 0, TlsFailure::kPinMismatch},
      {"pin wins over verification off", "localhost", false, false, 2, 0, TlsFailure::kPinMismatch},
  };
  for (const TlsCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv trust("SSL_CERT_FILE", c.trust_file ? &server_->certificate().cert_file() : nullptr);
    TlsSettings settings{.host = c.host, .verify = c.verify, .unix_time = c.unix_time};
    if (c.pin == 1) settings.pin = Pin(server_->certificate().fingerprint());
    if (c.pin == 2) settings.pin = std::string(32, '\x5A');
    net::Dialer dialer(c.host, server_->tls_port(), settings);
    const Progress progress = Dial(dialer);
    EXPECT_EQ(dialer.tls_failure(), c.expected);
    EXPECT_EQ(progress, c.expected == TlsFailure::kNone ? Progress::kDone : Progress::kFailed);
  }
}

TEST(DialerTlsEdges, PlainServerOnTlsPortFailsTheHandshake) {
  int port = 0;
  const int listener = testsupport::ListenLoopback(&port);
  net::Dialer dialer("127.0.0.1", port, TlsSettings{.host = "127.0.0.1", .verify = false});
  EXPECT_NE(dialer.Continue(), Progress::kDone);
  const int server = testsupport::AcceptWithin(listener, 2000);
  ASSERT_GE(server, 0);
  testsupport::WriteAll(server, ":irc.test NOTICE * :*** Looking up your hostname\r\n");
  EXPECT_EQ(Dial(dialer), Progress::kFailed);
  EXPECT_EQ(dialer.tls_failure(), TlsFailure::kHandshake);
  close(server);
  close(listener);
}

}  // namespace
