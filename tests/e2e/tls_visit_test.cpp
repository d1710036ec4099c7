// A whole visit to a TLS network through the real binary (OpenSSL loaded at the first TLS
// connection): ngircd on a TLS port with a certificate made by the openssl command.
#include <gtest/gtest.h>

#include <string>

#include "support/door_process.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "support/scoped_env.h"
#include "support/tls_ngircd.h"

namespace {

using testsupport::DoorProcess;
using testsupport::NgircdServer;
using testsupport::ScopedEnv;
using testsupport::TlsNgircd;

TEST(TlsVisit, JoinsTalksAndQuitsOverTls) {
  if (!NgircdServer::Available()) GTEST_SKIP() << "ngircd is not installed";
  TlsNgircd ngircd;
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
  testsupport::IrcPeer bob;
  ASSERT_TRUE(testsupport::UserJoins(bob, ngircd.port(), "Bob", "#tls"));

  // Trusted the way a test trusts its own certificate; the INI file only says "+port".
  const ScopedEnv trust = ngircd.Trust();
  DoorProcess door("[general]\nhandle=Wolf\nusername=Joe Smith\n[Secure]\nlocalhost=" +
                   ngircd.TlsPortEntry() + "\nchannels=#tls\n");
  door.StartWithCaller();
  ASSERT_TRUE(door.CallerWaitFor("[#tls] ", 10000)) << door.CallerReceived();
  door.CallerTypes("hello over tls\r");
  EXPECT_TRUE(bob.WaitFor("PRIVMSG #tls :hello over tls", 5000));
  bob.SendLine("PRIVMSG #tls :hi Wolf");
  EXPECT_TRUE(door.CallerWaitFor("hi Wolf", 5000));
  door.CallerTypes("/quit\r");
  EXPECT_TRUE(bob.WaitFor("QUIT :", 5000));
  EXPECT_EQ(door.WaitExit(5000), 0);
}

}  // namespace
