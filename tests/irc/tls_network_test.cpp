// TLS networks against a real server: a private ngircd with a certificate for "localhost" made
// by the openssl command, trusted through SSL_CERT_FILE or a pinned fingerprint.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "irc/client/client.h"
#include "support/scoped_env.h"
#include "support/server_fixture.h"
#include "support/tls_ngircd.h"
#include "traffic_support.h"

namespace irc {
namespace {

using testsupport::ScopedEnv;
using testsupport::ServerFixture;
using testsupport::TlsNgircd;
using traffic_test::DecodeShown;
using traffic_test::S;
using traffic_test::Shown;

class TlsNetworkTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = TlsNgircd::StartOrNull(); }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    if (server_ == nullptr) GTEST_SKIP() << "ngircd or openssl unavailable";
    // A nickname of its own: the shared server may not have seen the last test's link close.
    static int visits = 0;
    f_.client.SetNick("Tls" + std::to_string(++visits));
    // Certificates are checked against the door's clock.
    f_.door_fixture.clock.SetUnixSeconds(static_cast<int64_t>(time(nullptr)));
    f_.door_fixture.clock.GiveRealTime(100);
  }

  std::string Tls() const { return server_->TlsPortEntry(); }

  // Takes server lines as the main loop does until the welcome has been shown.
  bool Welcomed() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string shown;
    while (std::chrono::steady_clock::now() < deadline && f_.client.server_link.IsOpen()) {
      if (f_.client.server_link.DataWaiting()) {
        f_.client.ReceiveServerData();
        shown += f_.CallerText();
        if (shown.find("Welcome") != std::string::npos) return true;
      } else if (!f_.client.server_link.IsOpen()) {
        break;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    ADD_FAILURE() << "no welcome in: " << shown << f_.CallerText();
    return false;
  }

  static inline std::unique_ptr<TlsNgircd> server_;
  ServerFixture f_;
};

TEST_F(TlsNetworkTest, TrustedCertificateRegisters) {
  const ScopedEnv trust = server_->Trust();
  f_.ini.Write("[TlsNet]\nlocalhost=" + Tls() + "\n");
  f_.client.ConnectNetwork("TlsNet");
  EXPECT_EQ(f_.client.network_name, "TlsNet");
  EXPECT_TRUE(Welcomed());
}

TEST_F(TlsNetworkTest, RefusedCertificatesSayWhy) {
  ScopedEnv trust("SSL_CERT_FILE", nullptr);
  f_.ini.Write("[Untrusted]\nlocalhost=" + Tls() + "\n[Mismatch]\n127.0.0.1=" + Tls() +
               "\n[Pinned]\nlocalhost=" + Tls() +
               "\ntlsfingerprint=00112233445566778899AABBCCDDEEFF00112233445566778899AABBCCDDEEFF\n");
  f_.client.ConnectNetwork("Untrusted");
  {
    const ScopedEnv trusted = server_->Trust();
    f_.client.ConnectNetwork("Mismatch");
    f_.client.ConnectNetwork("Pinned");
    // Validity is checked against the door's clock: ten days on, the two-day certificate is old.
    f_.door_fixture.clock.SetUnixSeconds(static_cast<int64_t>(time(nullptr)) + 10 * 86'400);
    f_.client.ConnectNetwork("Untrusted");
  }
  EXPECT_EQ(DecodeShown(f_.CallerText()),
            (Shown{S("Connecting to localhost"), S("Unable to connect"), S("TLS: certificate not trusted"),
                   S("Connecting to 127.0.0.1"), S("Unable to connect"),
                   S("TLS: certificate is for another host name"), S("Connecting to localhost"),
                   S("Unable to connect"), S("TLS: certificate does not match tlsfingerprint"),
                   S("Connecting to localhost"), S("Unable to connect"), S("TLS: certificate expired")}));
  EXPECT_EQ(f_.client.network_name, "<none>");
}

TEST_F(TlsNetworkTest, SysopTrustsAPrivateCertificateByPinOrWithoutVerification) {
  ScopedEnv trust("SSL_CERT_FILE", nullptr);
  f_.ini.Write("[Pinned]\n127.0.0.1=" + Tls() + "\ntlsfingerprint=" + server_->certificate().fingerprint() +
               "\n[Unchecked]\nlocalhost=" + Tls() + "\ntlsverify=no\n");
  f_.client.ConnectNetwork("Pinned");
  EXPECT_TRUE(Welcomed());
  f_.client.SetNick(f_.client.nick() + "b");
  f_.client.ConnectNetwork("Unchecked");
  EXPECT_EQ(f_.client.network_name, "Unchecked");
  EXPECT_TRUE(Welcomed());
}

TEST_F(TlsNetworkTest, ServerCommandWithPlusPort) {
  const ScopedEnv trust = server_->Trust();
  f_.ini.Write("[general]\nserver=1\n");
  f_.client.ProcessInputLine("/server localhost " + Tls());
  EXPECT_TRUE(Welcomed());
  // Without the plus the same port is spoken to in plain text, which a TLS port does not answer.
  f_.client.ProcessInputLine("/server localhost " + std::to_string(server_->port()));
  EXPECT_TRUE(Welcomed());
}

}  // namespace
}  // namespace irc
