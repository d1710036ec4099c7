// Whole visits to a modern network: the real binary and a real caller socket against InspIRCd
// with its IRCv3 modules, channel history and a Strict Transport Security policy on a TLS port,
// linked to Atheme services. Every visit is given the plain port and moves to TLS by itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "support/certificate.h"
#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd_lobby.h"
#include "support/sasl_stack.h"
#include "support/scoped_env.h"

namespace {

using testsupport::DoorProcess;
using testsupport::IrcPeer;
using testsupport::SaslStack;
using testsupport::ScopedEnv;
using testsupport::TestCertificate;

class ModernNetwork : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!SaslStack::Available()) return;
    cert_ = std::make_unique<TestCertificate>("localhost", "DNS:localhost");
    SaslStack::Options options;
    options.ircv3 = true;
    options.scram = true;
    options.tls_cert_file = cert_->cert_file();
    options.tls_key_file = cert_->key_file();
    options.movable_clock = true;
    stack_ = std::make_unique<SaslStack>(options);
    if (!cert_->ok() || !stack_->Start() || !stack_->RegisterAccount("alice", "sesame123")) {
      start_error_ = stack_->Log();
      stack_.reset();
    }
  }
  static void TearDownTestSuite() {
    stack_.reset();
    cert_.reset();
  }

  void SetUp() override {
    if (!SaslStack::Available()) GTEST_SKIP() << SaslStack::kMissing;
    ASSERT_NE(stack_, nullptr) << "the network did not start:\n" << start_error_;
    // The door trusts the server's certificate the way a test trusts its own.
    trust_.emplace("SSL_CERT_FILE", &cert_->cert_file());
  }
  void TearDown() override {
    if (stack_) stack_->SetClockOffset("+0");
  }

  // The network's plain port, as a sysop who never heard of its TLS port would list it.
  static std::string Ini(std::string_view extra) {
    return "[general]\nusername=Alice Liddell\nhandle=Wolf\n[Modern]\nlocalhost=" +
           std::to_string(stack_->port()) + "\n" + std::string(extra);
  }

  // A door whose caller answers the login prompts.
  static void LogIn(DoorProcess& door, std::string_view name, std::string_view password) {
    ASSERT_TRUE(door.CallerLogsIn(name, password, 10000)) << door.CallerReceived();
  }

  static inline std::unique_ptr<TestCertificate> cert_;
  static inline std::unique_ptr<SaslStack> stack_;
  static inline std::string start_error_;
  std::optional<ScopedEnv> trust_;
};

// The server names its TLS port on the plain one; the door leaves at once, registers over TLS and
// keeps the policy the TLS connection announces in its file, which sends the next visit to TLS at
// once, and keeps a visit whose TLS connection fails from falling back to plain.
TEST_F(ModernNetwork, PlainConnectionMovesToTlsByItself) {
  DoorProcess door(Ini(""));
  door.StartWithCaller();
  const std::string move =
      "This server asks for TLS: connecting again on port " + std::to_string(stack_->tls_port());
  ASSERT_TRUE(door.CallerWaitFor(move, 10000)) << door.CallerReceived();
  ASSERT_TRUE(door.CallerWaitFor("Welcome to the SaslTest IRC Network Wolf!", 10000))
      << door.CallerReceived();
  IrcPeer bob;
  ASSERT_TRUE(bob.Register(stack_->port(), "Bob"));
  bob.SendLine("WHOIS Wolf");
  EXPECT_TRUE(bob.WaitFor(" 671 Bob Wolf :", 5000)) << "the door's connection is not TLS";
  std::ifstream policy(door.dir() + "/zelkirc.sts");
  std::stringstream text;
  text << policy.rdbuf();
  EXPECT_NE(text.str().find("localhost " + std::to_string(stack_->tls_port())), std::string::npos)
      << text.str();
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);

  // The next visit that reads the policy goes to TLS straight away.
  DoorProcess next("[general]\nusername=Alice Liddell\nhandle=Hare\nstsfile=" + door.dir() +
                   "/zelkirc.sts\n[Modern]\nlocalhost=" + std::to_string(stack_->port()) + "\n");
  next.StartWithCaller();
  ASSERT_TRUE(next.CallerWaitFor("Welcome to the SaslTest IRC Network Hare!", 10000))
      << next.CallerReceived();
  EXPECT_EQ(next.CallerReceived().find("This server asks for TLS"), std::string::npos)
      << next.CallerReceived();
  bob.SendLine("WHOIS Hare");
  EXPECT_TRUE(bob.WaitFor(" 671 Bob Hare :", 5000)) << "the next visit's connection is not TLS";
  next.CallerTypes("/quit\r");
  EXPECT_EQ(next.WaitExit(5000), 0);

  // A certificate the door does not trust on a host with a policy is final: no plain connection.
  trust_.reset();
  DoorProcess untrusting("[general]\nusername=Alice Liddell\nhandle=Dodo\nstsfile=" + door.dir() +
                         "/zelkirc.sts\n[Modern]\nlocalhost=" + std::to_string(stack_->port()) + "\n");
  untrusting.StartWithCaller();
  EXPECT_TRUE(untrusting.CallerWaitFor(
      "This server is to be reached over TLS only (STS); no plain connection is tried", 10000))
      << untrusting.CallerReceived();
  bob.SendLine("WHOIS Dodo");
  EXPECT_TRUE(bob.WaitFor(" 401 Bob Dodo ", 5000)) << "the door is on the network after all";
}

// A login with the strongest mechanism the services offer (SCRAM where the installed Atheme has
// it, PLAIN otherwise), over the TLS connection the server's policy moved the door to.
TEST_F(ModernNetwork, LogsInWithTheServicesBestMechanism) {
  if (!SaslStack::ScramAvailable()) {
    EXPECT_EQ(stack_->mechanisms().find("SCRAM"), std::string::npos) << stack_->mechanisms();
  } else {
    EXPECT_NE(stack_->mechanisms().find("SCRAM-SHA-256"), std::string::npos) << stack_->mechanisms();
  }
  DoorProcess door(Ini("sasl=yes\n"));
  door.StartWithCaller();
  LogIn(door, "alice", "sesame123");
  EXPECT_TRUE(door.CallerWaitFor("You are now logged in as alice", 10000)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("SASL authentication successful", 5000)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("Welcome to the SaslTest IRC Network alice!", 5000))
      << door.CallerReceived();
  // The move to TLS took the login the caller had typed: one prompt, one login.
  const std::string& shown = door.CallerReceived();
  EXPECT_NE(shown.find("This server asks for TLS"), std::string::npos);
  const size_t prompt = shown.find("Please Enter Your User Name: ");
  EXPECT_EQ(shown.find("Please Enter Your User Name: ", prompt + 1), std::string::npos) << shown;
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
  EXPECT_EQ(door.CallerReceived().find("sesame123"), std::string::npos);
}

TEST_F(ModernNetwork, WrongPasswordFailsCleanly) {
  DoorProcess door(Ini("sasl=yes\n"));
  door.StartWithCaller();
  LogIn(door, "alice", "not-the-password");
  EXPECT_TRUE(door.CallerWaitFor("SASL authentication failed", 10000)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("SASL login failed; continuing without logging in", 5000));
  EXPECT_TRUE(door.CallerWaitFor("Welcome to the SaslTest IRC Network alice!", 5000))
      << door.CallerReceived();
  EXPECT_EQ(door.CallerReceived().find("logged in as"), std::string::npos);
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

// A channel with history (mode +H): what was said minutes before the door joined is replayed with
// server-time tags and shown with its own time in front, while what is said now is not; no tag
// reaches the caller, and the names show every rank of a member without the addresses the server
// sends along. The server's clock is set three minutes back while the history is made.
TEST_F(ModernNetwork, JoinReplaysHistoryWithItsOwnTimes) {
  if (access(SaslStack::kFakeTime, R_OK) != 0) GTEST_SKIP() << "libfaketime is not installed";
  ASSERT_TRUE(stack_->SetClockOffset("-3m"));
  IrcPeer bob;
  ASSERT_TRUE(testsupport::UserJoins(bob, stack_->port(), "Bob", "#history"));
  bob.SendLine("MODE #history +vH Bob 20:1d");
  ASSERT_TRUE(bob.WaitFor(" MODE #history +vH ", 5000));
  bob.SendLine("PRIVMSG #history :the first words said here");
  bob.SendLine("PRIVMSG #history :and the second");
  bob.SendLine("PING :kept");
  ASSERT_TRUE(bob.WaitFor(" PONG ", 5000));
  ASSERT_TRUE(stack_->SetClockOffset("+0"));

  DoorProcess door(Ini("channels=#history\n"));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("and the second", 15000)) << door.CallerReceived();
  bob.SendLine("PRIVMSG #history :said just now");
  ASSERT_TRUE(door.CallerWaitFor("said just now", 5000)) << door.CallerReceived();

  const std::string& shown = door.CallerReceived();
  // "[2:02:11 pm] " (in the BBS's format) before a line, colour codes between.
  const std::regex stamp(R"(\[[0-9]{1,2}:[0-9]{2}:[0-9]{2}[^\]\r\n]{0,6}\] )");
  const auto stamped = [&](std::string_view said) {
    const size_t at = shown.find(said);
    const size_t line = shown.rfind('\n', at);
    const size_t from = line == std::string::npos ? 0 : line + 1;
    return std::regex_search(shown.substr(from, at - from), stamp);
  };
  for (std::string_view said : {"the first words said here", "and the second"}) {
    EXPECT_TRUE(stamped(said)) << said << "\n" << shown;
  }
  for (std::string_view said : {"said just now", "Welcome to the SaslTest IRC Network Wolf!"}) {
    EXPECT_FALSE(stamped(said)) << said << "\n" << shown;
  }
  for (std::string_view raw : {"@time=", "time=20", "msgid=", "\r\n@"}) {
    EXPECT_EQ(shown.find(raw), std::string::npos) << raw;
  }
  EXPECT_NE(shown.find("@+Bob"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("Bob!"), std::string::npos) << shown;
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

// What others do reaches the door through the IRCv3 capabilities (extended-join, setname,
// away-notify, invite-notify, account-tag): shown in the door's own words where the caller
// benefits, otherwise silent; no protocol line of them reaches the caller raw.
TEST_F(ModernNetwork, OthersChangesAreShownInTheDoorsOwnWords) {
  IrcPeer bob;
  ASSERT_TRUE(testsupport::UserJoins(bob, stack_->port()));
  DoorProcess door(Ini("channels=#lobby\n"));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("[#lobby] ", 15000)) << door.CallerReceived();

  IrcPeer carol;
  ASSERT_TRUE(carol.Register(stack_->port(), "Carol"));
  bob.SendLine("INVITE Carol #lobby");
  ASSERT_TRUE(carol.WaitFor(" INVITE Carol ", 5000));
  carol.SendLine("JOIN #lobby");
  ASSERT_TRUE(door.CallerWaitFor("has joined #lobby", 5000)) << door.CallerReceived();
  bob.SendLine("SETNAME :Robert the Builder");
  bob.SendLine("AWAY :gone fishing");
  bob.SendLine("AWAY");
  bob.SendLine("PRIVMSG #lobby :all done");
  ASSERT_TRUE(door.CallerWaitFor("all done", 5000)) << door.CallerReceived();
  const std::string& shown = door.CallerReceived();
  for (std::string_view raw : {" SETNAME ", " AWAY ", " INVITE ", " ACCOUNT ", " CHGHOST ", "JOIN #lobby",
                               "@account=", "Robert the Builder", "gone fishing"}) {
    EXPECT_EQ(shown.find(raw), std::string::npos) << raw << "\n" << shown;
  }
  // The invitation, in the door's words ("Bob invited Carol to #lobby", colours between).
  const size_t invited = shown.find("invited ");
  ASSERT_NE(invited, std::string::npos) << shown;
  EXPECT_NE(shown.find("Carol", invited), std::string::npos);
  EXPECT_NE(shown.find("to #lobby", invited), std::string::npos);
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

// Capabilities the server withdraws and offers again during a visit (cap-notify: an operator
// unloads the module of one and loads it again) are taken in silence, and the visit goes on.
TEST_F(ModernNetwork, CapabilitiesWithdrawnAndOfferedAgainAreTakenSilently) {
  IrcPeer bob;  // asks for cap-notify, to see what the server tells the door
  ASSERT_TRUE(bob.Connect(stack_->port()));
  for (std::string_view line :
       {"CAP LS 302", "CAP REQ :cap-notify", "NICK Bob", "USER bob 0 * :Bob", "CAP END"}) {
    bob.SendLine(line);
  }
  ASSERT_TRUE(bob.WaitFor(" 001 Bob ", 5000));
  bob.SendLine(std::string("OPER ") + SaslStack::kOperName + " " + SaslStack::kOperPassword);
  ASSERT_TRUE(bob.WaitFor(" 381 Bob ", 5000));
  bob.SendLine("JOIN #lobby");
  DoorProcess door(Ini("channels=#lobby\n"));
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("[#lobby] ", 15000)) << door.CallerReceived();

  bob.SendLine("UNLOADMODULE m_ircv3_chghost.so");
  EXPECT_TRUE(bob.WaitFor(" DEL :chghost", 5000));
  bob.SendLine("LOADMODULE m_ircv3_chghost.so");
  EXPECT_TRUE(bob.WaitFor(" NEW :chghost", 5000));
  bob.SendLine("PRIVMSG #lobby :still here?");
  ASSERT_TRUE(door.CallerWaitFor("still here?", 5000)) << door.CallerReceived();
  door.CallerTypes("yes\r");
  EXPECT_TRUE(bob.WaitFor("PRIVMSG #lobby :yes", 5000));
  const std::string& shown = door.CallerReceived();
  for (std::string_view raw : {"CAP ", " DEL ", " NEW ", "chghost"}) {
    EXPECT_EQ(shown.find(raw), std::string::npos) << raw << "\n" << shown;
  }
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

}  // namespace
