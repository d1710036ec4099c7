// The client against a real IRC server: registration, the welcome reply and the auto-join.
#include "support/ngircd.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "irc/client/client.h"
#include "support/server_fixture.h"

namespace irc {
namespace {

using testsupport::NgircdServer;
using testsupport::ServerFixture;

// Reads the server link until a line contains needle, at most timeout_ms, with every line handled
// by the client (so that its capability negotiation goes on); all lines read so far.
std::string ReadUntil(Client& client, std::string_view needle, int timeout_ms) {
  std::string seen;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (client.server_link.DataWaiting()) {
      std::string chunk = client.server_link.TakeBuffer();
      seen += chunk;
      client.server_lines.Feed(std::move(chunk),
                               [&client](std::string_view line) { client.HandleServerLine(line); });
      if (seen.find(needle) != std::string::npos) break;
    } else if (!client.server_link.IsOpen()) {
      break;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  return seen;
}

TEST(NgircdTest, RegistersSeesWelcomeAndJoinsAtEndOfMotd) {
  if (!NgircdServer::Available()) GTEST_SKIP() << NgircdServer::kBinary << " is not installed";
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();

  ServerFixture f;
  f.ini.Write("[general]\nhandle=Wolf\n[TestNet]\n127.0.0.1=" + std::to_string(ngircd.port()) +
              "\nchannels=#zelk\n");
  f.client.ConnectNetwork("TestNet");
  ASSERT_TRUE(f.client.server_link.IsOpen());
  EXPECT_EQ(f.client.network_name, "TestNet");

  std::string seen = ReadUntil(f.client, " 376 ", 10000);
  EXPECT_NE(seen.find(" ACK :multi-prefix"), std::string::npos) << seen;
  EXPECT_NE(seen.find(":irc.test.local 001 Wolf :"), std::string::npos) << seen;
  ASSERT_NE(seen.find(" 376 Wolf "), std::string::npos) << seen;
  EXPECT_TRUE(f.client.capabilities->enabled(Capability::kMultiPrefix));

  // The end of the welcome has joined the network's channels.
  seen = ReadUntil(f.client, " 366 ", 10000);
  EXPECT_NE(seen.find(":Wolf!~Wolf@"), std::string::npos) << seen;
  EXPECT_NE(seen.find(" JOIN :#zelk\r"), std::string::npos) << seen;
}

}  // namespace
}  // namespace irc
