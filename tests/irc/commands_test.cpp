#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "door/door.h"
#include "irc/client/client.h"
#include "support/dial_link.h"
#include "support/door_fixture.h"
#include "support/scripted_server.h"
#include "support/sockets.h"
#include "support/temp_ini.h"

namespace irc {
namespace {

using Lines = std::vector<std::string>;
using testsupport::ScriptedServer;

constexpr int kWaitMs = 3000;

// Expected screen text is written with '^' for the colour-code byte.
std::string Codes(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '^') c = '\x7F';
  }
  return out;
}

// What the caller receives for a ShowLine or ShowStatus of the text.
std::string Echo(std::string_view text) {
  return door::ConvertColourCodes(Codes("^7" + std::string(text) + "\r\n"));
}
std::string Status(std::string_view text) {
  return Echo(std::string(kStatusMarker) + std::string(text));
}

constexpr std::string_view kQuitHint = "^FIf You Want To Quit, Type /QUIT";
constexpr std::string_view kClear = "\x1B[2J\x1B[H";

// A client with a caller on the door, user Wolf, connected to a scripted server.
class Session {
 public:
  explicit Session(std::string_view ini_text = "") : ini_(ini_text), client_(*fixture_.door, ini_.path()) {
    client_.SetNick("Wolf");
    fixture_.door->visit.time_left = 3600;  // the menu's key waits run the visit checks
    testsupport::DialLink(client_.server_link, "127.0.0.1", server_.port());
    accepted_ = server_.Accept(kWaitMs);
  }

  Client& client() { return client_; }
  ScriptedServer& server() { return server_; }
  testsupport::DoorFixture& fixture() { return fixture_; }
  bool accepted() const { return accepted_; }

  void JoinChannel(std::string name) {
    client_.targets.Add(std::move(name));
    client_.targets.Activate(static_cast<int>(client_.targets.size()) - 1);
  }

  // Runs the line; returns the caller's screen bytes it produced.
  std::string Type(std::string_view line) {
    fixture_.CallerReceived();
    client_.ProcessInputLine(line);
    return fixture_.CallerReceived();
  }

  // The lines the client sent since the last call: a marker line sent after them shows where
  // they end without waiting for a time-out.
  Lines Sent() {
    size_t from = server_.lines().size();
    client_.server_link.SendLine("MARK");
    if (!server_.WaitForLine("MARK", kWaitMs)) return {"<marker not received>"};
    const Lines& all = server_.lines();
    Lines out(all.begin() + static_cast<long>(from), all.end());
    while (!out.empty() && out.back() != "MARK") out.pop_back();
    if (!out.empty()) out.pop_back();
    return out;
  }

 private:
  testsupport::DoorFixture fixture_;
  testsupport::TempIni ini_;
  Client client_;
  ScriptedServer server_;
  bool accepted_ = false;
};

struct Case {
  std::string typed;
  bool in_channel;    // "#chan" is the active target; otherwise "Status"
  std::string shown;  // exact caller bytes
  Lines sent;
};

std::vector<Case> Cases() {
  const std::string hint = Status(kQuitHint);
  return {
      // Nothing at all.
      {"", true, "", {}},
      {"   /   ", true, "", {}},
      {"\t \r\n", true, "", {}},
      // Text without a slash.
      {"q", true, hint, {}},
      {"x", false, hint, {}},
      {"X", true, hint, {}},
      // Every other short line is chat like any other.
      {"k", true, Echo("^D<^7Wolf^8:^7#chan^D> ^7k"), {"PRIVMSG #chan :k"}},
      {" ? ", true, Echo("^D<^7Wolf^8:^7#chan^D> ^7?"), {"PRIVMSG #chan :?"}},
      {"qq", true, Echo("^D<^7Wolf^8:^7#chan^D> ^7qq"), {"PRIVMSG #chan :qq"}},
      {"y", false, "", {}},
      {"exit", true, hint, {}},
      {"Quit", true, hint, {}},
      {"  eXiT \r", false, hint, {}},
      {"quit now", true, Echo("^D<^7Wolf^8:^7#chan^D> ^7quit now"), {"PRIVMSG #chan :quit now"}},
      {"  hi  all  ", true, Echo("^D<^7Wolf^8:^7#chan^D> ^7hi  all"), {"PRIVMSG #chan :hi  all"}},
      {"hello there", false, "", {}},
      // Commands sent as typed, minus the slash.
      {"/join #a", true, "", {"join #a"}},
      {"/JOIN #a", true, "", {"JOIN #a"}},
      {"/exit", true, "", {"exit"}},
      {"/foo bar", true, "", {"foo bar"}},
      {"/ join #a", true, "", {" join #a"}},
      {"//x", true, "", {"/x"}},
      {"/whois  bob", true, "", {"whois  bob"}},
      {"/Mode #c +o bob", true, "", {"Mode #c +o bob"}},
      // Optional text.
      {"/away", true, "", {"away"}},
      {"/away gone  out", true, "", {"AWAY :gone  out"}},
      {"/away :x", true, "", {"AWAY ::x"}},
      {"/wallops", true, "", {"wallops"}},
      {"/wallops hi all", true, "", {"WALLOPS :hi all"}},
      // Counted arguments, default reasons and colons.
      {"/kick #c", true, "", {"KICK"}},
      {"/kick #c bob", true, "", {"kick #c bob :No Reason Given"}},
      {"/kick #c bob :go", true, "", {"KICK #c bob :go"}},
      {"/kick #c bob go  away", true, "", {"KICK #c bob :go  away"}},
      {"/kill", true, "", {"KILL"}},
      {"/kill bob", true, "", {"kill bob :No Reason Given"}},
      {"/kill bob :go", true, "", {"KILL bob ::go"}},
      {"/squit", true, "", {"SQUIT"}},
      {"/squit irc.x", true, "", {"squit irc.x :No Reason Given"}},
      {"/squit irc.x :bye now", true, "", {"SQUIT irc.x :bye now"}},
      {"/topic", true, "", {"TOPIC"}},
      {"/topic #c", true, "", {"topic #c"}},
      {"/topic #c new topic", true, "", {"TOPIC #c :new topic"}},
      {"/topic #c :x", true, "", {"TOPIC #c :x"}},
      // Messages and notices with their echo.
      {"/msg", true, "", {"PRIVMSG"}},
      {"/msg bob", true, "", {"PRIVMSG"}},
      {"/msg bob hi  there", false, Echo("^8[^4msg^8(^Cbob^8)] ^7hi  there"), {"PRIVMSG bob :hi  there"}},
      {"/msg  bob hi", true, Echo("^8[^4msg^8(^C^8)] ^7bob hi"), {"PRIVMSG  :bob hi"}},
      {"/msg bob :x", true, Echo("^8[^4msg^8(^Cbob^8)] ^7:x"), {"PRIVMSG bob ::x"}},
      {"/notice bob", true, "", {"NOTICE"}},
      {"/Notice bob hi", true, Echo("^8[^4notice^8(^Cbob^8)] ^7hi"), {"NOTICE bob :hi"}},
      // CTCP.
      {"/ctcp bob version", true, Echo("^8[^4ctcp^8(^Cbob^8)] ^7VERSION"), {"PRIVMSG bob :\x01VERSION\x01"}},
      {"/ctcp bob", true, "", {}},
      {"/ctcp bob ping x", true, "", {}},
      // Actions.
      {"/me waves  hi",
       true,
       Echo("^8\xF0 ^FWolf^8:^F#chan ^7waves  hi"),
       {"PRIVMSG #chan :\x01"
        "ACTION waves  hi\x01"}},
      {"/me waves", false, "", {}},
      {"/me", true, "", {}},
      // The rest.
      {"/motd elsewhere", true, "", {"MOTD"}},
      {"/quit", true, "", {"QUIT :ZelkIRC v1.32"}},
      {"/quit bye  all", true, "", {"QUIT :ZelkIRC v1.32 (bye  all)"}},
      {"/QUIT :x", true, "", {"QUIT :ZelkIRC v1.32 (:x)"}},
      {"/clear", true, std::string(kClear), {}},
      {"/server", true, "", {}},
  };
}

TEST(ProcessInputLine, EachKindOfLineShowsAndSendsExactly) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE("typed: '" + c.typed + "'");
    Session session;
    ASSERT_TRUE(session.accepted());
    if (c.in_channel) session.JoinChannel("#chan");
    EXPECT_EQ(session.Type(c.typed), c.shown);
    EXPECT_EQ(session.Sent(), c.sent);
  }
}

TEST(ProcessInputLine, QuitAndMotdSetTheirFlags) {
  for (const char* typed : {"/quit", "/Quit see you"}) {
    Session session;
    session.Type(typed);
    EXPECT_TRUE(session.client().quit_requested) << typed;
  }
  Session session;
  for (const char* typed : {"quit", "exit", "/exit", "/motd"}) session.Type(typed);
  EXPECT_FALSE(session.client().quit_requested);
  EXPECT_TRUE(session.client().motd_requested);
}

TEST(ProcessInputLine, CtcpPingCarriesTheSecondsOfTheDay) {
  Session session;
  session.fixture().clock.SetTime(10, 0, 5);
  EXPECT_EQ(session.Type("/ctcp bob Ping"), Echo("^8[^4ctcp^8(^Cbob^8)] ^7PING"));
  EXPECT_EQ(session.Sent(), Lines{"PRIVMSG bob :\x01PING 36005\x01"});
}

TEST(ProcessInputLine, EchoComesBeforeTheProtocolLine) {
  // The echo is on the caller's screen by the time the server line leaves.
  Session session;
  session.JoinChannel("#chan");
  session.fixture().CallerReceived();
  session.client().ProcessInputLine("/msg bob hi");
  ASSERT_TRUE(session.server().WaitForLine("PRIVMSG bob :hi", kWaitMs));
  EXPECT_EQ(session.fixture().CallerReceived(), Echo("^8[^4msg^8(^Cbob^8)] ^7hi"));
}

// ---- /SERVER ----

TEST(ServerCommand, SaysSoUnlessTheSysopAllowsIt) {
  for (const char* ini : {"", "[general]\nserver=0\n", "[General]\nServer=no\n", "[general]\nserver=off\n"}) {
    SCOPED_TRACE(ini);
    Session session(ini);
    ScriptedServer other;
    session.JoinChannel("#chan");
    EXPECT_EQ(session.Type("/server 127.0.0.1 " + std::to_string(other.port())),
              Status("The sysop has switched /SERVER off"));
    EXPECT_EQ(session.Sent(), Lines{});
    EXPECT_FALSE(other.Accept(100));
    EXPECT_EQ(session.client().targets.active(), 1);
  }
}

TEST(ServerCommand, QuitsResetsAndConnectsToTheGivenPort) {
  Session session("[general]\nserver = Yes\n");
  ScriptedServer other;
  session.JoinChannel("#chan");
  session.client().network_name = "NetA";
  std::string shown = session.Type("/SERVER 127.0.0.1 " + std::to_string(other.port()));

  EXPECT_EQ(shown, Status("Disconnected") + Status("Connecting to 127.0.0.1"));
  ASSERT_TRUE(session.server().WaitForLine("QUIT", kWaitMs));
  EXPECT_EQ(session.server().lines(), Lines{"QUIT :ZelkIRC v1.32 (Changing Servers)"});
  EXPECT_TRUE(session.server().WaitForClose(kWaitMs));
  ASSERT_TRUE(other.Accept(kWaitMs));
  EXPECT_TRUE(other.WaitForLine("NICK Wolf", kWaitMs));
  EXPECT_EQ(session.client().targets.names(), Lines{"Status"});
  EXPECT_EQ(session.client().targets.active(), 0);
  EXPECT_EQ(session.client().network_name, "<none>");
  EXPECT_FALSE(session.client().auto_join_pending);
}

TEST(ServerCommand, FourWordsDisconnectWithoutConnecting) {
  Session session("[general]\nserver=1\n");
  ScriptedServer other;
  std::string shown = session.Type("/server 127.0.0.1 " + std::to_string(other.port()) + " extra");
  EXPECT_EQ(shown, Status("Disconnected"));
  EXPECT_TRUE(session.server().WaitForLine("QUIT :ZelkIRC v1.32 (Changing Servers)", kWaitMs));
  EXPECT_TRUE(session.server().WaitForClose(kWaitMs));
  EXPECT_FALSE(session.client().server_link.IsOpen());
  EXPECT_FALSE(other.Accept(100));
}

TEST(ServerCommand, PortThatIsNoNumberMeansTheStandardPort) {
  int listener = testsupport::ListenLoopbackAt(6667);
  if (listener < 0) GTEST_SKIP() << "port 6667 on 127.0.0.1 is in use";
  Session session("[general]\nserver=1\n");
  session.Type("/server 127.0.0.1 abc");
  int accepted = testsupport::AcceptWithin(listener, kWaitMs);
  EXPECT_GE(accepted, 0);
  EXPECT_NE(testsupport::ReadAvailable(accepted, 500).find("NICK Wolf\r\n"), std::string::npos);
  EXPECT_TRUE(session.client().server_link.IsOpen());
  if (accepted >= 0) close(accepted);
  close(listener);
}

// Ports are never wrapped into 1-65535: a typed number outside it connects nowhere, not even to
// the port it would wrap to.
TEST(ServerCommand, PortOutsideTheRangeIsUnableToConnect) {
  ScriptedServer other;
  for (const long long port : {other.port() + 65536LL, other.port() - 65536LL, 99999999999LL, 0LL}) {
    SCOPED_TRACE(port);
    Session session("[general]\nserver=1\n");
    const std::string shown = session.Type("/server 127.0.0.1 " + std::to_string(port));
    EXPECT_EQ(shown,
              Status("Disconnected") + Status("Connecting to 127.0.0.1") + Status("Unable to connect"));
    EXPECT_FALSE(session.client().server_link.IsOpen());
    EXPECT_FALSE(other.Accept(0));
  }
}

TEST(ServerCommand, RefusedConnectionLeavesTheClientDisconnected) {
  Session session("[general]\nserver=1\n");
  std::string shown = session.Type("/server 127.0.0.1 " + std::to_string(testsupport::RefusingPort()));
  EXPECT_EQ(shown, Status("Disconnected") + Status("Connecting to 127.0.0.1") + Status("Unable to connect"));
  EXPECT_FALSE(session.client().server_link.IsOpen());
  EXPECT_EQ(session.client().targets.names(), Lines{"Status"});
}

// ---- /SERVERLIST ----

std::string Network(std::string_view name, const ScriptedServer& server) {
  return "[" + std::string(name) + "]\n127.0.0.1=" + std::to_string(server.port()) + "\n";
}

std::string Menu(const Lines& names) {
  std::string menu = std::string(kClear) + "\r\n  Available Servers:\r\n\r\n";
  for (size_t i = 0; i < names.size(); ++i)
    menu += "     " + std::string(1, static_cast<char>('A' + i)) + ") " + names[i] + "\r\n";
  return menu + "\r\n  Your Choice: ";
}

TEST(ServerListCommand, MenuChoosesANetworkByLetterIgnoringOtherKeys) {
  ScriptedServer net_a, net_b;
  Session session("[General]\nserver=0\n" + Network("NetA", net_a) + Network("NetB", net_b));
  session.JoinChannel("#chan");
  session.fixture().CallerTypes("19z!\rb");

  std::string shown = session.Type("/serverlist");

  EXPECT_EQ(shown, Menu({"NetA", "NetB"}) + std::string(kClear) + Status("Disconnected") +
                       Status("Connecting to 127.0.0.1"));
  EXPECT_TRUE(session.server().WaitForLine("QUIT :ZelkIRC v1.32 (Changing Servers)", kWaitMs));
  EXPECT_TRUE(session.server().WaitForClose(kWaitMs));
  ASSERT_TRUE(net_b.Accept(kWaitMs));
  EXPECT_TRUE(net_b.WaitForLine("USER Wolf ", kWaitMs));
  EXPECT_FALSE(net_a.Accept(100));
  EXPECT_EQ(session.client().network_name, "NetB");
  EXPECT_TRUE(session.client().auto_join_pending);
  EXPECT_EQ(session.client().targets.names(), Lines{"Status"});
}

TEST(ServerListCommand, EscapeLeavesTheConnectionAsItWas) {
  ScriptedServer net_a, net_b;
  Session session(Network("NetA", net_a) + "[general]\n" + Network("NetB", net_b));
  session.JoinChannel("#chan");
  session.client().network_name = "Old";
  // A cursor key is one key, ignored like x; the Esc key ends the menu.
  session.fixture().CallerTypes("x\x1B[A\x1B");

  EXPECT_EQ(session.Type("/SERVERLIST"), Menu({"NetA", "NetB"}) + std::string(kClear));
  EXPECT_EQ(session.Sent(), Lines{});
  EXPECT_TRUE(session.client().server_link.IsOpen());
  EXPECT_EQ(session.client().targets.names(), (Lines{"Status", "#chan"}));
  EXPECT_EQ(session.client().targets.active(), 1);
  EXPECT_EQ(session.client().network_name, "Old");
  EXPECT_FALSE(net_a.Accept(100));
}

TEST(ServerListCommand, LocalKeyChoosesToo) {
  ScriptedServer net_a, net_b;
  Session session(Network("NetA", net_a) + Network("NetB", net_b));
  session.fixture().console.PushKeys("a");
  session.Type("/serverlist");
  ASSERT_TRUE(net_a.Accept(kWaitMs));
  EXPECT_EQ(session.client().network_name, "NetA");
}

TEST(ServerListCommand, SingleNetworkWhileConnectedSaysGoodbyeAndStartsAfresh) {
  ScriptedServer net_a;
  Session session("[GENERAL]\nserver=1\n" + Network("NetA", net_a));
  session.JoinChannel("#chan");

  EXPECT_EQ(session.Type("/serverlist"), Status("Disconnected") + Status("Connecting to 127.0.0.1"));
  EXPECT_TRUE(session.server().WaitForLine("QUIT :ZelkIRC v1.32 (Changing Servers)", kWaitMs));
  EXPECT_TRUE(session.server().WaitForClose(kWaitMs));
  ASSERT_TRUE(net_a.Accept(kWaitMs));
  EXPECT_TRUE(net_a.WaitForLine("NICK Wolf", kWaitMs));
  EXPECT_TRUE(net_a.WaitForLine("USER Wolf ", kWaitMs));
  EXPECT_EQ(session.client().targets.names(), Lines{"Status"});
  EXPECT_EQ(session.client().targets.active(), 0);
  EXPECT_EQ(session.client().network_name, "NetA");
  session.fixture().CallerReceived();
  session.client().RedrawInputLine();
  EXPECT_NE(session.fixture().CallerReceived().find("[Status] "), std::string::npos);
}

// At start-up nothing is connected yet: no goodbye and no "Disconnected".
TEST(ServerListCommand, SingleNetworkWhileUnconnectedJustConnects) {
  ScriptedServer net_a;
  Session session(Network("NetA", net_a));
  session.client().server_link.Close(true);

  EXPECT_EQ(session.Type("/SERVERLIST"), Status("Connecting to 127.0.0.1"));
  ASSERT_TRUE(net_a.Accept(kWaitMs));
  EXPECT_TRUE(net_a.WaitForLine("NICK Wolf", kWaitMs));
  EXPECT_EQ(session.server().received(), "");
}

// Chat text typed with no connection says why it goes nowhere.
TEST(ProcessInputLine, TextWithoutAConnectionSaysWhy) {
  Session session;
  session.client().server_link.Close(true);
  EXPECT_EQ(session.Type("hello"),
            Status("No IRC network is set up in " + session.client().config_file.Path()));
  Session with_network("[Net]\n127.0.0.1=1\n");
  with_network.client().server_link.Close(true);
  EXPECT_EQ(with_network.Type("hello"), Status("Not connected: /SERVERLIST connects to a network"));
  // Connected, text on the status target stays where it is, as before.
  Session connected("[Net]\n127.0.0.1=1\n");
  EXPECT_EQ(connected.Type("hello"), "");
}

TEST(ServerListCommand, NoNetworksSaysWhereAndWhy) {
  for (const char* ini : {"", "[general]\nserver=1\n"}) {
    Session session(ini);
    const std::string path = session.client().config_file.Path();
    EXPECT_EQ(session.Type("/serverlist"), Status("No IRC network is set up in " + path)) << ini;
    EXPECT_EQ(session.Sent(), Lines{}) << ini;
    EXPECT_TRUE(session.client().server_link.IsOpen()) << ini;
  }
  // The file is read again each time: its problems are told as they are now.
  Session session("[general]\n");
  const std::string path = session.client().config_file.Path();
  std::filesystem::remove(path);
  EXPECT_EQ(session.Type("/serverlist"), Status("Cannot read " + path + ": file not found"));
  std::filesystem::create_directory(path);
  EXPECT_EQ(session.Type("/serverlist"), Status("Cannot read " + path + ": not a regular file"));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace irc
