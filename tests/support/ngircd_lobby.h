// The usual company of a whole-visit test: a private ngircd with a second user waiting in #lobby.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "support/irc_peer.h"
#include "support/ngircd.h"

namespace testsupport {

// Registers user as nick on the server at 127.0.0.1:port (ngircd, InspIRCd) and joins channel;
// success once the server has sent the channel's names. The failure names what went wrong.
::testing::AssertionResult UserJoins(IrcPeer& user, int port, std::string_view nick = "Bob",
                                     std::string_view channel = "#lobby");

// Starts server and registers user on it as nick, joined to channel. The failure names what went
// wrong (with the server's log when it did not start).
::testing::AssertionResult StartWithUserInLobby(NgircdServer& server, IrcPeer& user,
                                                std::string_view nick = "Bob",
                                                std::string_view channel = "#lobby");

// A fixture with a private ngircd whose user Bob waits in #lobby, started before every test (the
// test skips where ngircd is not installed). Base is ::testing::Test or a ::testing::TestWithParam.
template <typename Base = ::testing::Test>
class WithUserInLobby : public Base {
 protected:
  void SetUp() override {
    if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
    ASSERT_TRUE(StartWithUserInLobby(ngircd_, bob_));
  }

  NgircdServer ngircd_{ZELK_SOURCE_DIR "/tests/data/ngircd.conf"};
  IrcPeer bob_;
};

}  // namespace testsupport
