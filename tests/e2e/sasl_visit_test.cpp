// Whole visits on a network that logs callers in with SASL and trusts the door as a WEBIRC
// gateway: the real binary, a real caller socket, InspIRCd with Atheme services on loopback and an
// account registered through NickServ.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/sasl_stack.h"

namespace {

using testsupport::DoorProcess;
using testsupport::IrcPeer;
using testsupport::SaslStack;

class SaslVisit : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!SaslStack::Available()) return;
    stack_ = std::make_unique<SaslStack>();
    if (!stack_->Start() || !stack_->RegisterAccount("alice", "sesame123")) {
      start_error_ = stack_->Log();
      stack_.reset();
    }
  }
  static void TearDownTestSuite() { stack_.reset(); }

  void SetUp() override {
    if (!SaslStack::Available()) GTEST_SKIP() << SaslStack::kMissing;
    ASSERT_NE(stack_, nullptr) << "the SASL network did not start:\n" << start_error_;
  }

  // A door on the SASL network whose caller answers the prompts with name and password.
  void Visit(DoorProcess& door, std::string_view name, std::string_view password) {
    door.StartWithCaller();
    ASSERT_TRUE(door.CallerLogsIn(name, password, 5000)) << door.CallerReceived();
  }

  static std::string Ini() {
    return "[general]\nusername=Alice Liddell\nhandle=Guest\n[SaslNet]\n127.0.0.1=" +
           std::to_string(stack_->port()) + "\nsasl=yes\n";
  }

  static inline std::unique_ptr<SaslStack> stack_;
  static inline std::string start_error_;
};

TEST_F(SaslVisit, RegisteredAccountLogsIn) {
  DoorProcess door(Ini());
  Visit(door, "alice", "sesame123");
  EXPECT_TRUE(door.CallerWaitFor("You are now logged in as alice", 5000)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("SASL authentication successful", 5000)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("Welcome to the SaslTest IRC Network alice!", 5000))
      << door.CallerReceived();
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
  EXPECT_EQ(door.CallerReceived().find("sesame123"), std::string::npos);
}

TEST_F(SaslVisit, WrongPasswordIsShownAndTheVisitGoesOn) {
  DoorProcess door(Ini());
  Visit(door, "alice", "wrong");
  EXPECT_TRUE(door.CallerWaitFor("SASL authentication failed", 5000)) << door.CallerReceived();
  EXPECT_TRUE(door.CallerWaitFor("SASL login failed; continuing without logging in", 5000));
  EXPECT_TRUE(door.CallerWaitFor("Welcome to the SaslTest IRC Network alice!", 5000))
      << door.CallerReceived();
  EXPECT_EQ(door.CallerReceived().find("logged in as"), std::string::npos);
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

// The caller's address from -I reaches the network: another user sees it as the door's host.
TEST_F(SaslVisit, WebircGivesTheNetworkTheCallersAddress) {
  DoorProcess door("[general]\nusername=Joe Smith\nhandle=Wolf\n[GateNet]\n127.0.0.1=" +
                   std::to_string(stack_->port()) + "\nwebirc=" + SaslStack::kWebircPassword + "\n");
  door.StartWithCaller(false, {"-I203.0.113.9"});
  ASSERT_TRUE(door.CallerWaitFor("Welcome to the SaslTest IRC Network Wolf!", 5000)) << door.CallerReceived();
  IrcPeer bob;
  ASSERT_TRUE(bob.Register(stack_->port(), "Bob"));
  bob.SendLine("WHOIS Wolf");
  const auto whois = bob.WaitFor(" 311 Bob Wolf ", 5000);
  ASSERT_TRUE(whois.has_value());
  EXPECT_NE(whois->find(" 203.0.113.9 * :"), std::string::npos) << *whois;
  door.CallerTypes("/quit\r");
  EXPECT_EQ(door.WaitExit(5000), 0);
}

}  // namespace
