#include <gtest/gtest.h>

#include <set>
#include <string>

#include "door/door.h"
#include "door/program_end.h"
#include "irc/client/client.h"
#include "support/dial_link.h"
#include "support/scripted_server.h"
#include "support/server_fixture.h"
#include "support/sockets.h"

namespace irc {
namespace {

using testsupport::RefusingPort;
using testsupport::ScriptedServer;
using testsupport::ServerFixture;

std::string Status(std::string_view text) {
  std::string raw = "\x7F\x37";  // colour code 7 in front of every line
  raw.append(kStatusMarker);
  raw.append(text);
  raw.append("\r\n");
  return door::ConvertColourCodes(raw);
}

size_t Count(std::string_view haystack, std::string_view needle) {
  size_t n = 0;
  for (size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

TEST(PromptCharsTest, EveryPrintableAsciiCharacterOnceSpaceLast) {
  ASSERT_EQ(kPromptChars.size(), 95u);
  std::set<unsigned char> seen(kPromptChars.begin(), kPromptChars.end());
  EXPECT_EQ(seen.size(), 95u);
  EXPECT_EQ(*seen.begin(), 0x20);
  EXPECT_EQ(*seen.rbegin(), 0x7E);
  EXPECT_EQ(kPromptChars.back(), ' ');
}

TEST(ConnectTest, RegistrationBytes) {
  ServerFixture f;
  ASSERT_TRUE(f.client.ConnectServer("127.0.0.1", f.server.port(), false));
  ASSERT_TRUE(f.server.Accept(2000));
  ASSERT_TRUE(f.server.WaitForLine("USER ", 2000));
  EXPECT_EQ(f.server.received(), "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n");
  EXPECT_EQ(f.CallerText(), Status("Connecting to 127.0.0.1"));  // the port is not shown
  EXPECT_EQ(f.client.network_name, "<none>");                    // a single server is no network
  EXPECT_FALSE(f.client.auto_join_pending);
}

TEST(ConnectTest, EmptyFullNameIsSentEmpty) {
  ServerFixture f;
  f.door().visit.user_real_name.clear();
  ASSERT_TRUE(f.Connect());
  EXPECT_EQ(f.server.lines().back(), "USER Wolf localhost localhost :");
}

TEST(ConnectTest, UnresolvableHostFails) {
  ServerFixture f;
  // A name with blanks is rejected by the resolver itself, without asking a name server.
  EXPECT_FALSE(f.client.ConnectServer("no such host", 6667, false));
  EXPECT_EQ(f.CallerText(), Status("Connecting to no such host") + Status("Unable to connect"));
  EXPECT_FALSE(f.client.server_link.IsOpen());
}

TEST(ConnectTest, ThreeHostsFirstTwoRefuse) {
  ScriptedServer server;
  std::string ini = "[general]\nhandle=Nobody\n[MyNet]\n127.0.0.2=" + std::to_string(RefusingPort()) +
                    "\nChannels=#chat\nlocalhost=" + std::to_string(RefusingPort()) +
                    "\nPASS=0\n127.0.0.1=" + std::to_string(server.port()) + "\n[Other]\n127.0.0.3=1\n";
  ServerFixture f(ini);
  f.client.ConnectNetwork("mynet");
  EXPECT_EQ(f.CallerText(), Status("Connecting to 127.0.0.2") + Status("Unable to connect") +
                                Status("Connecting to localhost") + Status("Unable to connect") +
                                Status("Connecting to 127.0.0.1"));
  EXPECT_EQ(f.client.network_name, "mynet");
  EXPECT_TRUE(f.client.auto_join_pending);
  ASSERT_TRUE(server.Accept(2000));
  ASSERT_TRUE(server.WaitForLine("USER ", 2000));
  EXPECT_EQ(server.received(), "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n");
}

TEST(ConnectTest, NetworkWhereEveryHostFails) {
  std::string ini = "[MyNet]\n127.0.0.1=" + std::to_string(RefusingPort()) + "\nno such host=\n";
  ServerFixture f(ini);
  f.client.network_name = "Old";
  f.client.ConnectNetwork("MyNet");
  EXPECT_EQ(f.CallerText(), Status("Connecting to 127.0.0.1") + Status("Unable to connect") +
                                Status("Connecting to no such host") + Status("Unable to connect"));
  EXPECT_EQ(f.client.network_name, "<none>");
  EXPECT_FALSE(f.client.auto_join_pending);
}

// A configured port outside 1-65535 is no port: that host is unreachable, and the next one is
// tried; it never becomes 6667 or the port it would wrap to.
TEST(ConnectTest, ConfiguredPortsOutsideTheRangeAreUnableToConnect) {
  ScriptedServer server;
  const std::string wrapped = std::to_string(server.port() + 65536);
  ServerFixture f("[MyNet]\n127.0.0.1=99999999999\nlocalhost=" + wrapped + "\n127.0.0.2=-1\n");
  f.client.ConnectNetwork("MyNet");
  EXPECT_EQ(f.CallerText(), Status("Connecting to 127.0.0.1") + Status("Unable to connect") +
                                Status("Connecting to localhost") + Status("Unable to connect") +
                                Status("Connecting to 127.0.0.2") + Status("Unable to connect"));
  EXPECT_FALSE(server.Accept(0));
}

TEST(ConnectTest, NetworkWithoutServersSaysSo) {
  ServerFixture f("[Empty]\nchannels=#a\npass=1\n[Other]\n127.0.0.1=1\n");
  f.client.network_name = "Old";
  f.client.ConnectNetwork("Empty");
  f.client.ConnectNetwork("Missing");
  EXPECT_EQ(f.CallerText(), Status("Network Empty in " + f.ini.path() + " lists no servers") +
                                Status("Network Missing in " + f.ini.path() + " lists no servers"));
  EXPECT_EQ(f.client.network_name, "<none>");
  EXPECT_FALSE(f.client.auto_join_pending);
}

// The caller's keys are written before the connection is made: the prompts read them in turn.
class AuthenticationTest : public testing::Test {
 protected:
  void ConnectWithKeys(std::string_view keys) {
    std::string ini = "[Secure]\n127.0.0.1=" + std::to_string(f_.server.port()) + "\npass=0x1\nchannels=#a\n";
    f_.ini.Write(ini);
    f_.door_fixture.CallerTypes(keys);
    f_.client.ConnectNetwork("Secure");
    ASSERT_TRUE(f_.server.Accept(2000));
    ASSERT_TRUE(f_.server.WaitForLine("USER ", 2000));
    caller_ = f_.CallerText();
  }

  ServerFixture f_;
  std::string caller_;
};

TEST_F(AuthenticationTest, BlankNameRepeatsPromptAndSpacesBecomeUnderscores) {
  ConnectWithKeys("  \r\x1B ab cd \r\x1B");
  EXPECT_EQ(f_.server.received(),
            "CAP LS 302\r\nPASS :\r\nNICK ab_cd\r\nUSER ab_cd localhost localhost :Joe Smith\r\n");
  EXPECT_EQ(f_.client.nick(), "ab_cd");
  EXPECT_EQ(f_.client.network_name, "Secure");
  EXPECT_EQ(Count(caller_, "Please Enter Your User Name: "), 3u);
  EXPECT_EQ(Count(caller_, "Please Enter Your Password:  "), 1u);
  EXPECT_TRUE(caller_.starts_with(Status("Connecting to 127.0.0.1") +
                                  "\r\nThis server requires authentication\r\n" +
                                  "Please Enter Your User Name: "))
      << caller_;
}

TEST_F(AuthenticationTest, PasswordIsSentAsTyped) {
  ConnectWithKeys("Wolfgang\r  se cret \r");
  EXPECT_EQ(
      f_.server.received(),
      "CAP LS 302\r\nPASS :  se cret \r\nNICK Wolfgang\r\nUSER Wolfgang localhost localhost :Joe Smith\r\n");
  EXPECT_NE(caller_.find("**********"), std::string::npos);
  EXPECT_EQ(caller_.find("se cret"), std::string::npos);
}

// Controls are refused; every character is taken, a code page 437 caller's bytes above 127 as
// their characters in UTF-8 (0xFF, the no-break space, as a blank).
TEST_F(AuthenticationTest, PromptsTakeEveryCharacterButControls) {
  // The caller is a telnet connection: a typed 0xFF byte arrives as IAC IAC.
  std::string keys = "\t\x01\x80\xFF\xFFNicx\x7Fk\r";  // DEL erases like Backspace
  std::string printable;
  for (int c = 0x20; c <= 0x7E; ++c) printable.push_back(static_cast<char>(c));
  keys += "\t\x7F\xE4" + printable + "\x80\r";
  ConnectWithKeys(keys);
  EXPECT_EQ(f_.server.lines().at(1), "PASS :\xCE\xA3" + printable + "\xC3\x87");
  // The typed name becomes a nickname by the same rules as a handle: Ç folded to C.
  EXPECT_EQ(f_.server.lines().at(2), "NICK C_Nick");
}

TEST_F(AuthenticationTest, UserNameIsCutToEightCharacters) {
  ConnectWithKeys("abcdefghijk\rpw\r");
  EXPECT_EQ(f_.server.lines().at(2), "NICK abcdefgh");
}

TEST(ExitCleanupTest, DoorEndingAfterCarrierLossClosesTheServerLink) {
  ServerFixture f;
  f.ini.Write("[Secure]\n127.0.0.1=" + std::to_string(f.server.port()) + "\npass=1\n");
  f.door_fixture.DropCarrier();
  // The user name prompt waits for keys; the door notices the lost carrier and ends the program.
  EXPECT_THROW(f.client.ConnectNetwork("Secure"), door::ProgramEnd);
  ASSERT_TRUE(f.server.Accept(2000));
  EXPECT_TRUE(f.client.server_link.IsOpen());
  f.door().RunExitProcs();
  EXPECT_FALSE(f.client.server_link.IsOpen());
  EXPECT_TRUE(f.server.WaitForClose(2000));
  EXPECT_EQ(f.server.received(), "");
}

TEST(ExitCleanupTest, DestructionClosesTheLinkAndLaterExitProcsAreHarmless) {
  testsupport::DoorFixture door_fixture;
  ScriptedServer server;
  {
    testsupport::TempIni ini("");
    Client client(*door_fixture.door, ini.path());
    ASSERT_TRUE(testsupport::DialLink(client.server_link, "127.0.0.1", server.port()));
    ASSERT_TRUE(server.Accept(2000));
    client.ExitCleanup();
    client.ExitCleanup();
    EXPECT_FALSE(client.server_link.IsOpen());
  }
  EXPECT_TRUE(server.WaitForClose(2000));
  door_fixture.door->RunExitProcs();
}

class AutoJoinTest : public testing::Test {
 protected:
  void ConnectTo(std::string_view channels_line) {
    f_.ini.Write("[MyNet]\n127.0.0.1=" + std::to_string(f_.server.port()) + "\n" +
                 std::string(channels_line));
    f_.client.ConnectNetwork("MyNet");
    ASSERT_TRUE(f_.server.Accept(2000));
    ASSERT_TRUE(f_.server.WaitForLine("USER ", 2000));
  }

  ServerFixture f_;
};

TEST_F(AutoJoinTest, JoinsOnceAtEndOfMotd) {
  ConnectTo("channels=#chat,#help key1\n");
  f_.client.motd_requested = true;
  f_.client.EndOfMotd();
  EXPECT_FALSE(f_.client.motd_requested);
  EXPECT_FALSE(f_.client.auto_join_pending);
  EXPECT_EQ(f_.SentUpToMarker(), std::vector<std::string>{"JOIN #chat,#help key1"});
  f_.client.motd_requested = true;
  f_.client.EndOfMotd();
  EXPECT_FALSE(f_.client.motd_requested);
  EXPECT_EQ(f_.SentUpToMarker(), std::vector<std::string>{});
}

TEST_F(AutoJoinTest, EmptyChannelsJoinsNothing) {
  ConnectTo("channels=\n");
  EXPECT_TRUE(f_.client.auto_join_pending);
  f_.client.EndOfMotd();
  EXPECT_FALSE(f_.client.auto_join_pending);
  EXPECT_EQ(f_.SentUpToMarker(), std::vector<std::string>{});
}

TEST_F(AutoJoinTest, ChannelsAreReadWhenTheMotdEnds) {
  ConnectTo("");
  f_.ini.Write("[mynet]\nCHANNELS=#late\n");
  f_.client.EndOfMotd();
  EXPECT_EQ(f_.SentUpToMarker(), std::vector<std::string>{"JOIN #late"});
}

TEST(AutoJoinWithoutNetworkTest, ServerConnectionDoesNotJoin) {
  ServerFixture f("[<none>]\nchannels=#x\n");
  ASSERT_TRUE(f.Connect());
  f.client.EndOfMotd();
  f.client.server_link.SendLine("MARK");
  EXPECT_EQ(f.server.ReadLines(2000), std::vector<std::string>{"MARK"});
}

}  // namespace
}  // namespace irc
