// Strict Transport Security: policies kept in memory and in their file, and the door against a
// plain scripted server that asks for TLS and a TLS scripted server that sets a policy.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "irc/client/client.h"
#include "irc/session/sts_policies.h"
#include "support/certificate.h"
#include "support/scoped_env.h"
#include "support/tls_scripted_server.h"
#include "traffic_support.h"

namespace irc {
namespace {

using testsupport::ScopedEnv;
using testsupport::ServerFixture;
using testsupport::TestCertificate;
using testsupport::TlsScriptedServer;
using traffic_test::S;
using traffic_test::Shown;
using traffic_test::StatusShown;

constexpr int64_t kNow = 1'796'911'331;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class StsPoliciesTest : public testing::Test {
 protected:
  std::string dir_ = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelk-sts-XXXXXX").string();
    return std::string(mkdtemp(pattern.data()));
  }();
  std::string file_ = dir_ + "/door.sts";
  ~StsPoliciesTest() override { std::filesystem::remove_all(dir_); }
};

TEST_F(StsPoliciesTest, HeldForTheirDurationAndKeptInTheirFile) {
  StsPolicies policies;
  policies.UseFile(file_);
  EXPECT_EQ(policies.Find("irc.example.net", kNow), std::nullopt);
  policies.Record("IRC.Example.NET", 6697, 300, kNow);
  policies.Record("other.example", 7000, 60, kNow);
  EXPECT_EQ(policies.Find("irc.example.net", kNow + 299), 6697);
  EXPECT_EQ(policies.Find("irc.example.net", kNow + 300), std::nullopt);
  EXPECT_EQ(ReadFile(file_), "irc.example.net 6697 1796911631\nother.example 7000 1796911391\n");

  // Another run reads them back; a duration of 0 removes one, and the file follows.
  StsPolicies next_run;
  next_run.UseFile(file_);
  EXPECT_EQ(next_run.Find("other.example", kNow + 10), 7000);
  next_run.Record("other.example", 7000, 0, kNow + 10);
  EXPECT_EQ(next_run.Find("other.example", kNow + 10), std::nullopt);
  EXPECT_EQ(ReadFile(file_), "irc.example.net 6697 1796911631\n");
  // Expired policies are not written again.
  next_run.Record("third.example", 6697, 100, kNow + 400);
  EXPECT_EQ(ReadFile(file_), "third.example 6697 1796911831\n");
}

TEST_F(StsPoliciesTest, AFileOfJunkOrNoneAtAll) {
  std::ofstream(file_) << "good.example 6697 1796999999\r\n"
                       << "bad port 70000 1796999999\n"
                       << "two words\n"
                       << "x 6697 1796999999 extra\n"
                       << "neg.example -1 1796999999\n"
                       << std::string(100000, 'z') << "\n";
  StsPolicies policies;
  policies.UseFile(file_);
  EXPECT_EQ(policies.Find("good.example", kNow), 6697);
  EXPECT_EQ(policies.Find("bad", kNow), std::nullopt);
  EXPECT_EQ(policies.Find("x", kNow), std::nullopt);

  // A folder that cannot be written: the policy holds for this run all the same.
  StsPolicies nowhere;
  nowhere.UseFile(dir_ + "/missing/folder/door.sts");
  nowhere.Record("a.example", 6697, 60, kNow);
  EXPECT_EQ(nowhere.Find("a.example", kNow), 6697);
  // No file at all.
  StsPolicies memory_only;
  memory_only.Record("a.example", 6697, 60, kNow);
  EXPECT_EQ(memory_only.Find("A.EXAMPLE", kNow), 6697);
  // Hosts a line cannot hold are not kept.
  memory_only.Record("a b", 6697, 60, kNow);
  memory_only.Record("", 6697, 60, kNow);
  EXPECT_EQ(memory_only.Find("a b", kNow), std::nullopt);
}

TEST_F(StsPoliciesTest, BoundedInNumber) {
  StsPolicies policies;
  policies.UseFile(file_);
  for (size_t i = 0; i <= StsPolicies::kMaxPolicies; ++i) {
    policies.Record("h" + std::to_string(i), 6697, 1000 + static_cast<int64_t>(i), kNow);
  }
  EXPECT_EQ(policies.Find("h0", kNow), std::nullopt);  // the one that ended first made room
  EXPECT_EQ(policies.Find("h1", kNow), 6697);
  EXPECT_EQ(policies.Find("h" + std::to_string(StsPolicies::kMaxPolicies), kNow), 6697);
}

TEST(StsFilePathTest, BesideTheIniUnlessSaidOtherwise) {
  EXPECT_EQ(StsFilePath("/bbs/doors/zelkirc.ini", std::nullopt), "/bbs/doors/zelkirc.sts");
  EXPECT_EQ(StsFilePath("/bbs/doors/zelkirc.ini", "policies.txt"), "/bbs/doors/policies.txt");
  EXPECT_EQ(StsFilePath("/bbs/doors/zelkirc.ini", "/var/lib/zelk/sts"), "/var/lib/zelk/sts");
  EXPECT_EQ(StsFilePath("/bbs/doors/zelkirc.ini", ""), "");
}

// The door against a plain scripted server and a TLS one on the same host, 127.0.0.1.
class StsLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!cert_.ok()) GTEST_SKIP() << "openssl unavailable";
    f_.door_fixture.clock.SetUnixSeconds(static_cast<int64_t>(time(nullptr)));
    f_.door_fixture.clock.GiveRealTime(100);
    f_.ini.Write("[Net]\n127.0.0.1=" + std::to_string(f_.server.port()) + "\n");
  }

  // Handles what the server link brings, as the main loop does, until the TLS server has taken
  // the door's registration.
  bool TlsRegistration() {
    for (int i = 0; i < 200 && !tls_.Accepted(0); ++i) {
      if (f_.client.server_link.DataWaiting()) f_.client.ReceiveServerData();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return tls_.Accepted(5000) && tls_.WaitForLine("USER ", 5000).has_value();
  }

  void Receive() {
    for (int i = 0; i < 200 && !f_.client.server_link.DataWaiting(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    f_.client.ReceiveServerData();
  }

  std::string PolicyFile() { return std::filesystem::path(f_.ini.path()).replace_extension(".sts").string(); }

  TestCertificate cert_{"127.0.0.1", "IP:127.0.0.1"};
  ScopedEnv trust_ = cert_.Trust();
  TlsScriptedServer tls_{cert_.cert_file(), cert_.key_file()};
  ServerFixture f_;
};

TEST_F(StsLinkTest, APlainLinkMovesToTlsAtOnceAndThePolicyHolds) {
  f_.client.ConnectNetwork("Net");
  ASSERT_TRUE(f_.server.Accept(2000));
  ASSERT_TRUE(f_.server.WaitForLine("USER ", 2000));
  f_.CallerText();
  tls_.AcceptInBackground(5000);
  const std::string tls_port = std::to_string(tls_.port());
  f_.server.SendLine(":irc.test CAP * LS :multi-prefix sts=port=" + tls_port + ",duration=300");
  f_.server.SendLine(":irc.test NOTICE * :*** not for the caller");
  ASSERT_TRUE(TlsRegistration());
  // The plain link said nothing more and closed; the TLS link registers as any link does.
  EXPECT_TRUE(f_.server.WaitForClose(2000));
  EXPECT_EQ(f_.server.lines(), (std::vector<std::string>{"CAP LS 302", "NICK Wolf",
                                                         "USER Wolf localhost localhost :Joe Smith"}));
  EXPECT_EQ(tls_.lines(), (std::vector<std::string>{"CAP LS 302", "NICK Wolf",
                                                    "USER Wolf localhost localhost :Joe Smith"}));
  Shown shown = StatusShown(f_.CallerText());
  shown.resize(2);
  EXPECT_EQ(shown, (Shown{S("This server asks for TLS: connecting again on port " + tls_port),
                          S("Connecting to 127.0.0.1")}));
  // Over TLS the server sets its policy; the duration counts, the port is the link's own.
  tls_.SendLine(":irc.test CAP * LS :sts=port=6697,duration=300");
  Receive();
  EXPECT_TRUE(tls_.WaitForLine("CAP END", 2000));
  const std::string policy = ReadFile(PolicyFile());
  EXPECT_TRUE(policy.starts_with("127.0.0.1 " + tls_port + " ")) << policy;

  // The next visit to the network goes to TLS straight away: the plain port is never dialled.
  tls_.AcceptInBackground(5000);
  f_.client.ConnectNetwork("Net");
  ASSERT_TRUE(TlsRegistration());
  EXPECT_FALSE(f_.server.Accept(100));

  // A TLS failure there is final: no plain link instead.
  tls_.Close();
  ScopedEnv untrusted("SSL_CERT_FILE", nullptr);
  ScopedEnv no_directory("SSL_CERT_DIR", &f_.ini.path());
  tls_.AcceptInBackground(5000);
  f_.CallerText();
  f_.client.ConnectNetwork("Net");
  EXPECT_FALSE(f_.server.Accept(100));
  shown = StatusShown(f_.CallerText());
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[1], S("Unable to connect"));
  EXPECT_EQ(shown.back(), S(kStsOnlyText));
  EXPECT_EQ(f_.client.network_name, "<none>");
}

TEST_F(StsLinkTest, WithoutAPolicyFileThePolicyHoldsForTheRun) {
  f_.ini.Write("[general]\nstsfile=\n[Net]\n127.0.0.1=" + std::to_string(f_.server.port()) + "\n");
  f_.client.ConnectNetwork("Net");
  ASSERT_TRUE(f_.server.Accept(2000));
  tls_.AcceptInBackground(5000);
  f_.server.SendLine(":irc.test CAP * LS :sts=port=" + std::to_string(tls_.port()));
  ASSERT_TRUE(TlsRegistration());
  tls_.SendLine(":irc.test CAP * LS :sts=duration=300");
  Receive();
  EXPECT_TRUE(tls_.WaitForLine("CAP END", 2000));
  EXPECT_FALSE(std::filesystem::exists(PolicyFile()));
  tls_.AcceptInBackground(5000);
  f_.client.ConnectNetwork("Net");
  ASSERT_TRUE(TlsRegistration());
  EXPECT_FALSE(f_.server.Accept(100));
}

}  // namespace
}  // namespace irc
