// The usual company of a whole-visit test: a private ngircd with a second user waiting in #lobby.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "support/irc_peer.h"
#include "support/ngircd.h"

namespace testsupport {

// Starts server and registers user on it as nick, joined to #lobby. The failure names what went
// wrong (with the server's log when it did not start).
::testing::AssertionResult StartWithUserInLobby(NgircdServer& server, IrcPeer& user,
                                                std::string_view nick = "Bob");

}  // namespace testsupport
