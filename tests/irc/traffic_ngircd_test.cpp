// Two users on a real ngircd: a raw peer talks to the client, which shows each message, a CTCP
// VERSION and an action in its own formats and answers the VERSION request; a paste of many lines
// reaches the peer paced and in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "irc/client/client.h"
#include "irc/session/send_pacer.h"
#include "support/irc_peer.h"
#include "support/ngircd.h"
#include "support/ngircd_lobby.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using testsupport::IrcPeer;
using testsupport::NgircdServer;
using testsupport::ServerFixture;

// Feeds the client's server lines to HandleServerLine, as the main loop does, until done() holds
// or timeout_ms passes; collects what the caller was shown.
class Pump {
 public:
  explicit Pump(ServerFixture& f) : f_(f) {}

  bool Until(const std::function<bool()>& done, int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= deadline || !f_.client.server_link.IsOpen()) return false;
      if (!f_.client.server_link.DataWaiting()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        continue;
      }
      pending_ += f_.client.server_link.TakeBuffer();
      for (size_t cr; (cr = pending_.find('\r')) != std::string::npos;) {
        const std::string line = pending_.substr(0, cr);
        pending_.erase(0, cr + 1);
        f_.client.HandleServerLine(line);
      }
      for (std::string& line : DecodeShown(f_.CallerText())) shown_.push_back(std::move(line));
    }
    return true;
  }

  bool Showed(const std::string& entry) const {
    return std::find(shown_.begin(), shown_.end(), entry) != shown_.end();
  }
  // The first shown entry that starts with prefix, or "".
  std::string ShownStartingWith(const std::string& prefix) const {
    for (const std::string& entry : shown_) {
      if (entry.starts_with(prefix)) return entry;
    }
    return "";
  }
  const Shown& shown() const { return shown_; }

 private:
  ServerFixture& f_;
  std::string pending_;
  Shown shown_;
};

std::string AllShown(const Shown& shown) {
  std::string all;
  for (const std::string& entry : shown) all += testing::PrintToString(entry) + "\n";
  return all;
}

TEST(TrafficNgircdTest, PeerMessagesCtcpAndActionAreShownInTheirFormats) {
  if (!NgircdServer::Available()) GTEST_SKIP() << NgircdServer::kBinary << " is not installed";
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();

  ServerFixture f;
  f.client.date_time_format = DateTimeFormat{};
  f.ini.Write("[general]\nhandle=Wolf\n[TestNet]\n127.0.0.1=" + std::to_string(ngircd.port()) +
              "\nchannels=#zelk\n");
  f.client.ConnectNetwork("TestNet");
  ASSERT_TRUE(f.client.server_link.IsOpen());
  f.CallerText();

  // Registration ends with 376, whose auto-join makes #zelk the active target.
  Pump pump(f);
  ASSERT_TRUE(pump.Until([&] { return f.client.targets.size() == 2; }, 10000)) << AllShown(pump.shown());
  EXPECT_EQ(f.client.targets.names()[1], "#zelk");
  EXPECT_EQ(f.client.targets.active(), 1);

  IrcPeer bob;
  ASSERT_TRUE(bob.Register(ngircd.port(), "Bob"));
  bob.SendLine("JOIN #zelk");
  ASSERT_TRUE(pump.Until([&] { return !pump.ShownStartingWith(S("\177BBob \1778[\1773")).empty(); }, 10000))
      << AllShown(pump.shown());
  // Bob's user and host part, as the server reports it in his JOIN.
  const std::string join = pump.ShownStartingWith(S("\177BBob \1778[\1773"));
  const size_t host_start = S("\177BBob \1778[\1773").size();
  const std::string user_host = join.substr(host_start, join.find("\1778]", host_start) - host_start);
  EXPECT_NE(user_host.find('@'), std::string::npos) << join;
  EXPECT_EQ(join, S("\177BBob \1778[\1773" + user_host + "\1778] \1777has joined #zelk"));

  bob.SendLine("PRIVMSG #zelk :hello channel");
  bob.SendLine("PRIVMSG Wolf :hello you");
  bob.SendLine("PRIVMSG Wolf :\x01VERSION\x01");
  bob.SendLine(
      "PRIVMSG #zelk :\x01"
      "ACTION waves\x01");

  const std::string action = L("\1778\xF0 \177EBob\1778:\177E#zelk \1777waves");
  ASSERT_TRUE(pump.Until([&] { return pump.Showed(action); }, 10000)) << AllShown(pump.shown());
  EXPECT_TRUE(pump.Showed(L("\1779<\1777Bob\1778:\1777#zelk\1779> \1777hello channel")))
      << AllShown(pump.shown());
  EXPECT_TRUE(pump.Showed(L("\1778[\177DBob\1778(\1775" + user_host + "\1778)] \1777hello you")))
      << AllShown(pump.shown());
  EXPECT_TRUE(pump.Showed(S("\177ABob \1772requested VERSION"))) << AllShown(pump.shown());

  const auto answer = bob.WaitFor("NOTICE Bob :\x01VERSION ", 5000);
  ASSERT_TRUE(answer.has_value());
  EXPECT_TRUE(answer->starts_with(":Wolf!")) << *answer;
  EXPECT_TRUE(answer->ends_with(" NOTICE Bob :\x01VERSION ZelkIRC v1.32\x01")) << *answer;
}

// The door runs on the fixture's settable clock, so two seconds of pacing cost no real time.
TEST(TrafficNgircdTest, PasteOfTwentyLinesArrivesInOrderWhileRepliesDoNotWait) {
  if (!NgircdServer::Available()) GTEST_SKIP() << NgircdServer::kBinary << " is not installed";
  NgircdServer ngircd(ZELK_SOURCE_DIR "/tests/data/ngircd.conf");
  ASSERT_TRUE(ngircd.Start()) << ngircd.Log();
  ServerFixture f;
  f.ini.Write("[general]\nhandle=Wolf\n[TestNet]\n127.0.0.1=" + std::to_string(ngircd.port()) +
              "\nchannels=#paste\n");
  f.client.ConnectNetwork("TestNet");
  Pump pump(f);
  ASSERT_TRUE(pump.Until([&] { return f.client.targets.size() == 2; }, 10000)) << AllShown(pump.shown());
  IrcPeer bob;
  ASSERT_TRUE(testsupport::UserJoins(bob, ngircd.port(), "Bob", "#paste"));

  constexpr int kLines = 20;
  for (int i = 0; i < kLines; ++i) f.client.ProcessInputLine("paste line " + std::to_string(i));
  ASSERT_EQ(f.client.send_pacer.queued(), static_cast<size_t>(kLines - SendPacer::kBurst));
  ASSERT_TRUE(bob.WaitFor("paste line 4", 5000));

  // An answer the door owes goes out at once, ahead of the fifteen lines still waiting.
  bob.SendLine("PRIVMSG Wolf :\x01VERSION\x01");
  ASSERT_TRUE(pump.Until([&] { return pump.Showed(S("\177ABob \1772requested VERSION")); }, 5000));
  ASSERT_TRUE(bob.WaitFor("NOTICE Bob :\x01VERSION", 5000));
  EXPECT_EQ(f.client.send_pacer.queued(), static_cast<size_t>(kLines - SendPacer::kBurst));

  for (int64_t due; (due = f.client.MsUntilNextSend()) >= 0;) {
    f.door_fixture.clock.Advance(due);
    f.client.SendDueLines();
  }
  ASSERT_TRUE(bob.WaitFor("paste line " + std::to_string(kLines - 1), 5000));
  std::vector<std::string> received;
  for (const std::string& line : bob.lines()) {
    const size_t at = line.find(" PRIVMSG #paste :");
    if (at != std::string::npos) received.push_back(line.substr(at + 17));
  }
  std::vector<std::string> typed;
  for (int i = 0; i < kLines; ++i) typed.push_back("paste line " + std::to_string(i));
  EXPECT_EQ(received, typed);
  // Still connected: the server answers a line sent after the paste.
  f.client.server_link.SendLine("PING :still-here");
  EXPECT_TRUE(
      pump.Until([&] { return !f.client.server_link.IsOpen() || f.client.server_link.DataWaiting(); }, 5000));
  EXPECT_NE(f.client.server_link.TakeBuffer().find("still-here"), std::string::npos);
}

}  // namespace
}  // namespace irc::traffic_test
