// Registration on a network with "sasl" or "webirc" set: the exact bytes on a scripted server, and
// what the caller is shown when a server cannot log the caller in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using Lines = std::vector<std::string>;
using testsupport::ServerFixture;

constexpr char kNotLoggedIn[] = "SASL login failed; continuing without logging in";

// A client that has connected to a network section of its own (extra keys appended) after the
// caller answered the prompts with `keys`, and whose registration bytes have been read.
class RegistrationTest : public testing::Test {
 protected:
  void ConnectWith(std::string_view keys, std::string_view section_keys,
                   std::string_view caller_address = "") {
    f_.ini.Write("[Net]\n127.0.0.1=" + std::to_string(f_.server.port()) + "\n" + std::string(section_keys));
    f_.client.caller_address = caller_address;
    f_.door().visit.user_handle = "Wolf";  // the prompts of an earlier connection change the nickname
    f_.door_fixture.CallerTypes(keys);
    f_.client.ConnectNetwork("Net");
    ASSERT_TRUE(f_.server.Accept(2000));
    ASSERT_TRUE(f_.server.WaitForLine("USER ", 2000));
    f_.CallerText();
  }

  // Handles server lines one by one; what the caller was shown.
  Shown Feed(std::initializer_list<std::string_view> lines) {
    for (std::string_view line : lines) f_.client.HandleServerLine(line);
    return DecodeShown(f_.CallerText());
  }

  ServerFixture f_;
};

TEST_F(RegistrationTest, SaslReplacesPassAndRegistrationWaitsForCapEnd) {
  ConnectWith("alice\rsesame\r", "pass=1\nsasl=yes\n");
  EXPECT_EQ(f_.server.received(),
            "CAP LS 302\r\nNICK alice\r\nUSER alice localhost localhost :Joe Smith\r\n");
  EXPECT_EQ(
      Feed({":irc.test CAP * LS * :multi-prefix", ":irc.test CAP * LS :sasl=PLAIN,EXTERNAL server-time"}),
      Shown{});
  EXPECT_EQ(f_.SentUpToMarker(), Lines{"CAP REQ :sasl"});
  EXPECT_EQ(Feed({":irc.test CAP alice ACK :sasl"}), Shown{});
  EXPECT_EQ(f_.SentUpToMarker(), Lines{"AUTHENTICATE PLAIN"});
  EXPECT_EQ(Feed({"AUTHENTICATE +"}), Shown{});
  EXPECT_EQ(f_.SentUpToMarker(), Lines{"AUTHENTICATE YWxpY2UAYWxpY2UAc2VzYW1l"});
  EXPECT_EQ(Feed({":irc.test 900 alice alice!a@h alice :You are now logged in as alice",
                  ":irc.test 903 alice :SASL authentication successful"}),
            (Shown{S("You are now logged in as alice"), S("SASL authentication successful")}));
  EXPECT_EQ(f_.SentUpToMarker(), Lines{"CAP END"});
  EXPECT_EQ(Feed({":irc.test 001 alice :Welcome", ":irc.test CAP alice DEL :sasl",
                  ":irc.test CAP alice NEW :sasl"}),
            Shown{S("Welcome")});
  EXPECT_EQ(f_.SentUpToMarker(), Lines{});
}

TEST_F(RegistrationTest, ServersThatCannotLogTheCallerIn) {
  struct Case {
    const char* name;
    std::vector<std::string_view> script;
    Shown shown;
    Lines sent;
  };
  const Case cases[] = {
      {"no CAP",
       {":irc.test 421 wolf CAP :Unknown command"},
       {S("Unknown command: CAP"), S("This server does not support SASL; continuing without logging in")},
       {}},
      {"no sasl",
       {":irc.test CAP * LS :multi-prefix"},
       {S("This server does not offer SASL PLAIN; continuing without logging in")},
       {"CAP END"}},
      {"NAK",
       {":irc.test CAP * LS :sasl", ":irc.test CAP * NAK :sasl"},
       {S("This server refused SASL; continuing without logging in")},
       {"CAP REQ :sasl", "CAP END"}},
      {"904",
       {":irc.test CAP * LS :sasl", ":irc.test CAP * ACK :sasl", "AUTHENTICATE +",
        ":irc.test 904 wolf :SASL authentication failed"},
       {S("SASL authentication failed"), S(kNotLoggedIn)},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", "AUTHENTICATE d29sZgB3b2xmAHB3", "CAP END"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerFixture& f = f_;
    f.server.Close();
    ConnectWith("wolf\rpw\r", "sasl=1\n");
    Shown shown;
    for (std::string_view line : c.script) {
      Shown more = Feed({line});
      shown.insert(shown.end(), more.begin(), more.end());
    }
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(f_.SentUpToMarker(), c.sent);
    // The visit goes on: the welcome is shown as on any server.
    EXPECT_EQ(Feed({":irc.test 001 wolf :Welcome"}), Shown{S("Welcome")});
  }
}

TEST_F(RegistrationTest, AuthenticatePiecesGoOutAsSeparateLines) {
  ConnectWith("a\rpw\r", "sasl=yes\n");
  // Credentials no prompt can give (the password prompt takes 100 characters): 400 encoded bytes.
  f_.client.sasl_login.emplace("a", std::string(296, 'p'));
  Feed({"CAP * LS :sasl", "CAP * ACK :sasl", "AUTHENTICATE +"});
  const Lines sent = f_.SentUpToMarker();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[2].size(), 13u + 400u);
  EXPECT_EQ(sent[3], "AUTHENTICATE +");
}

TEST_F(RegistrationTest, WithoutSaslNothingChanges) {
  for (std::string_view keys : {"sasl=no\n", "sasl=0\n", "sasl=\n", "SASL=maybe\n"}) {
    SCOPED_TRACE(keys);
    f_.server.Close();
    ConnectWith("", keys);
    EXPECT_EQ(f_.server.received(), "NICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n");
  }
}

TEST_F(RegistrationTest, WebircGoesFirstWhenTheCallerAddressIsKnown) {
  struct Case {
    std::string_view keys;
    std::string_view section;
    std::string_view address;
    std::string_view received;
  };
  const Case cases[] = {
      {"", "webirc=s3cret\n", "203.0.113.7",
       "WEBIRC s3cret ZelkIRC 203.0.113.7 203.0.113.7\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe "
       "Smith\r\n"},
      {"al\rpw\r", "webirc=s3cret\npass=1\n", "::1",
       "WEBIRC s3cret ZelkIRC 0::1 0::1\r\nPASS :pw\r\nNICK al\r\nUSER al localhost localhost :Joe "
       "Smith\r\n"},
      {"al\rpw\r", "webirc=s3cret\nsasl=on\n", "2001:db8::7",
       "WEBIRC s3cret ZelkIRC 2001:db8::7 2001:db8::7\r\nCAP LS 302\r\nNICK al\r\n"
       "USER al localhost localhost :Joe Smith\r\n"},
      {"", "webirc=s3cret\n", "", "NICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n"},
      {"", "webirc=s3cret\n", "bbs.example.net", "NICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n"},
      {"", "webirc=\n", "203.0.113.7", "NICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    f_.server.Close();
    ConnectWith(c.keys, c.section, c.address);
    EXPECT_EQ(f_.server.received(), c.received);
  }
}

}  // namespace
}  // namespace irc::traffic_test
