// A session that loses its server: the line that says so, the reconnect with its back-off (or why
// there is none), and the caller put back where they were. A scripted server ends the link in each
// way a real one does; the settable clock makes the waits pass at once.
#include <gtest/gtest.h>
#include <poll.h>

#include <string>
#include <vector>

#include "door/door.h"
#include "irc/client/client.h"
#include "platform/console.h"
#include "support/scripted_server.h"
#include "support/server_fixture.h"
#include "traffic_support.h"

namespace irc {
namespace {

using testsupport::ScriptedServer;
using testsupport::ServerFixture;
using traffic_test::S;
using traffic_test::Shown;
using traffic_test::StatusShown;

void Pause() {
  pollfd none{-1, 0, 0};
  poll(&none, 0, 2);
}

// Takes what the server sent, waiting for it at most a second of real time.
void Receive(Client& client) {
  for (int i = 0; i < 500 && !client.server_link.DataWaiting(); ++i) Pause();
  if (client.server_link.DataWaiting()) client.ReceiveServerData();
}

// Takes lines until done() holds, at most a second of real time.
template <typename Done>
void ReceiveUntil(Client& client, Done done) {
  for (int i = 0; i < 500 && !done(); ++i) {
    if (client.server_link.DataWaiting()) {
      client.ReceiveServerData();
    } else {
      Pause();
    }
  }
}

// Takes every line until the link has closed, at most a second of real time.
void ReceiveUntilClosed(Client& client) {
  for (int i = 0; i < 500 && client.server_link.IsOpen(); ++i) {
    if (client.server_link.DataWaiting()) {
      client.ReceiveServerData();
    } else {
      Pause();
    }
  }
}

// A client registered with the fixture's scripted server, its prompt drawn as in the main loop.
void ConnectAndWelcome(ServerFixture& f, std::string_view nick = "Wolf") {
  ASSERT_TRUE(f.Connect());
  f.server.SendLine(":irc.test 001 " + std::string(nick) + " :Welcome");
  Receive(f.client);
  ASSERT_EQ(f.client.session.state(), LinkState::kRegistered);
  f.client.DrawInputLine();
  f.CallerText();
}

// The server's ERROR line, shown as a status line in the server's grey.
std::string ErrorLine(std::string_view text) {
  return S("\1778ERROR: " + std::string(text));
}

std::string LostLine(std::string_view reason, std::string_view lasted = "5s") {
  return S("Connection to 127.0.0.1 lost after " + std::string(lasted) + ": " + std::string(reason));
}

// Every way the server can end the link is told with its reason; a ban, and a door whose sysop
// switched reconnecting off, do not come back.
TEST(ReconnectTest, EachEndingIsToldAndReconnectedUnlessRefused) {
  struct Case {
    std::string name;
    std::string ini;
    std::vector<std::string> lines;  // sent by the server before it closes
    bool reset;                      // the server resets instead of closing
    Shown shown;                     // status lines, the reconnect plan's last one left out
    bool reconnects;
  };
  const std::string closing = "ERROR :Closing Link: Wolf[127.0.0.1] ";
  const std::string hint = "; type /SERVERLIST to connect again";
  const Case cases[] = {
      {"close", "", {}, false, {LostLine("Connection closed by the server")}, true},
      {"reset", "", {}, true, {LostLine("Connection reset by peer")}, true},
      {"flood",
       "",
       {closing + "(Excess Flood)"},
       false,
       {ErrorLine("Closing Link: Wolf[127.0.0.1] (Excess Flood)"),
        LostLine("Closing Link: Wolf[127.0.0.1] (Excess Flood)")},
       true},
      {"465",
       "",
       {":irc.test 465 Wolf :You are banned from this server", "ERROR :Closing Link: Wolf (Bad user)"},
       false,
       {S("You are banned from this server"), ErrorLine("Closing Link: Wolf (Bad user)"),
        LostLine("Closing Link: Wolf (Bad user)"), S("Not reconnecting: refused by the server" + hint)},
       false},
      {"K-line",
       "",
       {closing + "(K-Lined: spamming)"},
       false,
       {ErrorLine("Closing Link: Wolf[127.0.0.1] (K-Lined: spamming)"),
        LostLine("Closing Link: Wolf[127.0.0.1] (K-Lined: spamming)"),
        S("Not reconnecting: refused by the server" + hint)},
       false},
      {"switched off",
       "[general]\nreconnect=no\n",
       {},
       false,
       {LostLine("Connection closed by the server"), S("Disconnected" + hint)},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerFixture f(c.ini);
    ConnectAndWelcome(f);
    f.door_fixture.clock.Advance(5'000);
    for (const std::string& line : c.lines) f.server.SendLine(line);
    c.reset ? f.server.Reset() : f.server.Close();
    ReceiveUntilClosed(f.client);
    ASSERT_FALSE(f.client.server_link.IsOpen());
    const int64_t wait_ms = f.client.RunSession();
    Shown shown = StatusShown(f.CallerText());
    if (c.reconnects) {
      ASSERT_FALSE(shown.empty());
      EXPECT_EQ(shown.back(),
                S("Reconnecting in " + std::to_string((wait_ms + 999) / 1000) + " s (Esc stops)"));
      shown.pop_back();
      EXPECT_EQ(f.client.session.state(), LinkState::kWaitingToReconnect);
    } else {
      EXPECT_EQ(wait_ms, -1);
      EXPECT_EQ(f.client.session.state(), LinkState::kDisconnected);
    }
    EXPECT_EQ(shown, c.shown);
    // The sysop's console has the same line.
    const platform::Console& console = f.door_fixture.console;
    bool on_console = false;
    for (int row = 1; row <= console.CursorRow(); ++row)
      on_console |= console.RowText(row).find("Connection to 127.0.0.1 lost after 5s") != std::string::npos;
    EXPECT_TRUE(on_console);
    // The line is not shown again on the next pass.
    f.client.RunSession();
    EXPECT_EQ(StatusShown(f.CallerText()), Shown{});
  }
}

// A registration that ends in a failed SASL login, with the network asking for SASL, is refused
// for good: the same password would fail again.
TEST(ReconnectTest, SaslFailureWhileRegisteringIsNotRetried) {
  ServerFixture f;
  f.door_fixture.CallerTypes("wolf\rsecret\r");
  ASSERT_TRUE(f.client.ConnectServer("127.0.0.1", f.server.port(), false,
                                     RegistrationOptions{.sasl = true, .webirc_password = {}}));
  ASSERT_TRUE(f.server.Accept(2000));
  ASSERT_TRUE(f.server.WaitForLine("CAP LS", 2000));
  f.server.SendLine(":irc.test CAP * LS :sasl=PLAIN");
  Receive(f.client);
  ASSERT_TRUE(f.server.WaitForLine("CAP REQ", 2000));
  f.server.SendLine(":irc.test CAP * ACK :sasl");
  Receive(f.client);
  ASSERT_TRUE(f.server.WaitForLine("AUTHENTICATE PLAIN", 2000));
  f.server.SendLine("AUTHENTICATE +");
  Receive(f.client);
  f.server.SendLine(":irc.test 904 * :SASL authentication failed");
  f.server.SendLine("ERROR :Closing Link: SASL authentication required");
  f.server.Close();
  ReceiveUntilClosed(f.client);
  f.CallerText();
  EXPECT_EQ(f.client.RunSession(), -1);
  EXPECT_EQ(f.client.session.state(), LinkState::kDisconnected);
  EXPECT_EQ(StatusShown(f.CallerText()).back(),
            S("Not reconnecting: refused by the server; type /SERVERLIST to connect again"));
}

// Two servers of one network: the one lost is tried first, then the next; the caller gets their
// nickname, channels (with the key they gave), active target and away message back, and what
// they type meanwhile is refused with a message.
TEST(ReconnectTest, NetworkServersInTurnAndTheCallerIsPutBack) {
  ScriptedServer first;
  ScriptedServer second;
  ServerFixture f("[Net]\n127.0.0.1=" + std::to_string(first.port()) +
                  "\nlocalhost=" + std::to_string(second.port()) + "\n");
  f.client.ConnectNetwork("Net");
  ASSERT_TRUE(first.Accept(2000));
  ASSERT_TRUE(first.WaitForLine("USER ", 2000));
  first.SendLine(":irc.test 001 Wolf :Welcome");
  Receive(f.client);
  f.client.ProcessInputLine("/join #secret hush");
  f.client.ProcessInputLine("/nick Wolfie");
  f.client.ProcessInputLine("/away back soon");
  first.SendLine(":Wolf!w@h NICK :Wolfie");
  first.SendLine(":Wolfie!w@h JOIN :#secret");
  first.SendLine(":Wolfie!w@h JOIN :#chat");
  ReceiveUntil(f.client, [&] { return f.client.targets.size() == 3; });
  ASSERT_EQ(f.client.targets.names(), (std::vector<std::string>{"Status", "#secret", "#chat"}));
  f.client.targets.Activate(1);
  f.client.DrawInputLine();

  // Three typed lines: the first five of a paste go at once, these wait for their turn.
  for (int i = 0; i < 5; ++i) f.client.ProcessInputLine("line " + std::to_string(i));
  first.StopListening();
  first.Close();
  ReceiveUntilClosed(f.client);
  f.CallerText();
  int64_t wait_ms = f.client.RunSession();
  Shown shown = StatusShown(f.CallerText());
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1], S("3 lines not sent"));

  f.door_fixture.CallerTypes("still there?\r");
  f.client.HandleKey(f.door().DoorReadKey());
  while (f.door().DoorKeyPressed()) f.client.HandleKey(f.door().DoorReadKey());
  EXPECT_EQ(StatusShown(f.CallerText()), Shown{S("Not connected: line not sent")});

  // The first server refuses: one line, and the next server after the next wait.
  f.door_fixture.clock.Advance(wait_ms);
  wait_ms = f.client.RunSession();
  shown = StatusShown(f.CallerText());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0],
            S("Reconnect to 127.0.0.1 failed; next try in " + std::to_string((wait_ms + 999) / 1000) + " s"));
  EXPECT_GE(wait_ms, 4'000);
  f.door_fixture.clock.Advance(wait_ms);
  f.client.RunSession();
  ASSERT_TRUE(second.Accept(2000));
  EXPECT_TRUE(second.WaitForLine("NICK Wolfie", 2000));
  // The nickname is taken by the caller's own ghost: the server's choice is told once.
  second.SendLine(":irc.test 001 Wolfie_ :Welcome");
  Receive(f.client);
  EXPECT_EQ(f.client.nick(), "Wolfie_");
  EXPECT_TRUE(second.WaitForLine("JOIN #secret,#chat hush", 2000));
  EXPECT_TRUE(second.WaitForLine("AWAY :back soon", 2000));
  second.SendLine(":Wolfie_!w@h JOIN :#secret");
  second.SendLine(":Wolfie_!w@h JOIN :#chat");
  second.SendLine("PING :joined");
  ReceiveUntil(f.client, [&] { return second.WaitForLine("PONG :joined", 0).has_value(); });
  EXPECT_EQ(f.client.targets.names(), (std::vector<std::string>{"Status", "#secret", "#chat"}));
  EXPECT_EQ(f.client.targets.active(), 1);
  EXPECT_EQ(f.client.network_name, "Net");
  shown = StatusShown(f.CallerText());
  EXPECT_NE(std::find(shown.begin(), shown.end(), S("You are now known as Wolfie_")), shown.end());
  // Typed lines go to the new server.
  f.client.ProcessInputLine("hello again");
  EXPECT_TRUE(second.WaitForLine("PRIVMSG #secret :hello again", 2000));
}

// A server that stays away: an attempt each step, one line each, until ten minutes have passed.
TEST(ReconnectTest, GivesUpAfterTenMinutesWithAHint) {
  ServerFixture f;
  ConnectAndWelcome(f);
  f.server.StopListening();
  f.server.Close();
  ReceiveUntilClosed(f.client);
  const int64_t lost_at = f.door().MonotonicMs();
  int64_t wait_ms = f.client.RunSession();
  int attempts = 0;
  while (wait_ms >= 0 && attempts < 50) {
    f.door_fixture.clock.Advance(wait_ms);
    wait_ms = f.client.RunSession();
    ++attempts;
  }
  const Shown shown = StatusShown(f.CallerText());
  EXPECT_EQ(shown.back(),
            S("Reconnect to 127.0.0.1 failed; gave up after 10 minutes, type /SERVERLIST to connect again"));
  EXPECT_EQ(static_cast<int>(shown.size()), 2 + attempts);
  EXPECT_GE(attempts, 10);
  EXPECT_LE(f.door().MonotonicMs() - lost_at, SessionState::kGiveUpMs);
  EXPECT_EQ(f.client.session.state(), LinkState::kDisconnected);
}

TEST(ReconnectTest, EscStopsARegistrationWithAGoodbye) {
  ServerFixture f;
  ASSERT_TRUE(f.Connect());
  f.client.DrawInputLine();
  f.door_fixture.CallerTypes("\x1B");
  f.client.HandleKey(f.door().DoorReadKey());
  EXPECT_TRUE(f.server.WaitForLine("QUIT :ZelkIRC v1.32", 2000));
  EXPECT_TRUE(f.server.WaitForClose(2000));
  EXPECT_EQ(StatusShown(f.CallerText()), Shown{S("Connecting stopped")});
  EXPECT_EQ(f.client.RunSession(), -1);
  EXPECT_EQ(StatusShown(f.CallerText()), Shown{});
}

TEST(ReconnectTest, EscStopsTheWait) {
  ServerFixture f;
  ConnectAndWelcome(f);
  f.server.Close();
  ReceiveUntilClosed(f.client);
  f.client.RunSession();
  f.CallerText();
  f.door_fixture.CallerTypes("\x1B");
  f.client.HandleKey(f.door().DoorReadKey());
  EXPECT_EQ(StatusShown(f.CallerText()), Shown{S("Reconnecting stopped; type /SERVERLIST to connect again")});
  EXPECT_EQ(f.client.session.state(), LinkState::kDisconnected);
  EXPECT_EQ(f.client.RunSession(), -1);
}

// A reconnect that has to ask for the login waits while the sysop chats with the caller: the
// prompt would land inside the chat. The chat's end lets it go on, with the prompt.
TEST(ReconnectTest, LoginPromptWaitsForTheSysopChat) {
  ServerFixture f;
  const std::string server = "[Net]\n127.0.0.1=" + std::to_string(f.server.port()) + "\n";
  f.ini.Write(server + "pass=no\n");
  f.client.ConnectNetwork("Net");
  ASSERT_TRUE(f.server.Accept(2000));
  ASSERT_TRUE(f.server.WaitForLine("USER ", 2000));
  f.server.SendLine(":irc.test 001 Wolf :Welcome");
  Receive(f.client);
  // The sysop asks for passwords from now on, and chats with the caller when the link goes.
  f.ini.Write(server + "pass=yes\n");
  f.door().sysop.chat_active = true;
  f.server.Close();
  ReceiveUntilClosed(f.client);
  f.door_fixture.clock.Advance(f.client.RunSession());
  EXPECT_GT(f.client.RunSession(), 0);
  EXPECT_EQ(f.client.session.state(), LinkState::kWaitingToReconnect);
  EXPECT_FALSE(f.server.Accept(50));
  EXPECT_EQ(f.CallerText().find("requires authentication"), std::string::npos);

  f.door().sysop.chat_active = false;
  f.door_fixture.CallerTypes("wolf\rsecret\r");
  f.client.RunSession();
  ASSERT_TRUE(f.server.Accept(2000));
  EXPECT_TRUE(f.server.WaitForLine("PASS :secret", 2000));
  EXPECT_NE(f.CallerText().find("This server requires authentication"), std::string::npos);
}

}  // namespace
}  // namespace irc
