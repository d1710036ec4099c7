// Registration on a network with "sasl" or "webirc" set: the exact bytes on a scripted server, and
// what the caller is shown when a server cannot log the caller in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "irc/protocol/base64.h"
#include "platform/crypto.h"
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
    f_.client.SetNick("Wolf");  // the prompts of an earlier connection change the nickname
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
  EXPECT_EQ(f_.SentUpToMarker(), (Lines{"CAP REQ :multi-prefix server-time", "CAP REQ :sasl"}));
  EXPECT_EQ(Feed({":irc.test CAP alice ACK :multi-prefix server-time"}), Shown{});
  EXPECT_EQ(f_.SentUpToMarker(), Lines{});
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

// The server's side of SCRAM-SHA-256, as a network's services run it: the door's first message
// answered with a nonce, salt and iteration count, the door's proof checked, and the server's
// signature made (or forged).
class ScramServer {
 public:
  explicit ScramServer(std::string password) : password_(std::move(password)) {}

  std::string First(std::string_view client_first) {
    EXPECT_TRUE(client_first.starts_with("n,,")) << client_first;
    client_first_bare_ = client_first.substr(3);
    const size_t nonce = client_first_bare_.find(",r=");
    server_first_ =
        "r=" + client_first_bare_.substr(nonce + 3) + "ServerNonce,s=" + Base64Encode(kSalt) + ",i=4096";
    return server_first_;
  }

  // True when the door's proof shows that it knows the password.
  bool Proven(std::string_view client_final) {
    const size_t proof_at = client_final.rfind(",p=");
    auth_message_ =
        client_first_bare_ + "," + server_first_ + "," + std::string(client_final.substr(0, proof_at));
    const std::string salted = *platform::Pbkdf2(kDigest, password_, kSalt, 4096);
    const std::string stored_key = *platform::Hash(kDigest, *platform::Hmac(kDigest, salted, "Client Key"));
    std::string client_key = *Base64Decode(client_final.substr(proof_at + 3));
    const std::string signature = *platform::Hmac(kDigest, stored_key, auth_message_);
    for (size_t i = 0; i < client_key.size(); ++i) client_key[i] ^= signature[i];
    server_key_ = *platform::Hmac(kDigest, salted, "Server Key");
    return *platform::Hash(kDigest, client_key) == stored_key;
  }

  std::string Final(bool forged) {
    std::string signature = *platform::Hmac(kDigest, server_key_, auth_message_);
    if (forged) signature[0] ^= 1;
    return "v=" + Base64Encode(signature);
  }

 private:
  static constexpr platform::Digest kDigest = platform::Digest::kSha256;
  static constexpr std::string_view kSalt = "salt of the network";
  std::string password_;
  std::string client_first_bare_;
  std::string server_first_;
  std::string auth_message_;
  std::string server_key_;
};

// The message carried by one AUTHENTICATE line.
std::string Carried(const std::string& line) {
  EXPECT_TRUE(line.starts_with("AUTHENTICATE ")) << line;
  return Base64Decode(std::string_view(line).substr(13)).value_or("(not base64)");
}

TEST_F(RegistrationTest, ScramIsPreferredAndTheServerMustProveItself) {
  for (const bool forged : {false, true}) {
    SCOPED_TRACE(forged ? "forged signature" : "true signature");
    f_.server.Close();
    ConnectWith("alice\rsesame\r", "sasl=yes\n");
    ScramServer services("sesame");
    Feed({":irc.test CAP * LS :sasl=PLAIN,SCRAM-SHA-256"});
    EXPECT_EQ(f_.SentUpToMarker(), Lines{"CAP REQ :sasl"});
    Feed({":irc.test CAP alice ACK :sasl"});
    EXPECT_EQ(f_.SentUpToMarker(), Lines{"AUTHENTICATE SCRAM-SHA-256"});
    EXPECT_EQ(Feed({"AUTHENTICATE +"}), Shown{});
    Lines sent = f_.SentUpToMarker();
    ASSERT_EQ(sent.size(), 1u);
    const std::string client_first = Carried(sent[0]);
    EXPECT_TRUE(client_first.starts_with("n,,n=alice,r=")) << client_first;
    EXPECT_EQ(client_first.size(), 13u + 32u);  // 24 random bytes in base64

    EXPECT_EQ(Feed({"AUTHENTICATE " + Base64Encode(services.First(client_first))}), Shown{});
    sent = f_.SentUpToMarker();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(services.Proven(Carried(sent[0])));

    const Shown shown = Feed({"AUTHENTICATE " + Base64Encode(services.Final(forged))});
    if (!forged) {
      EXPECT_EQ(shown, Shown{});
      EXPECT_EQ(f_.SentUpToMarker(), Lines{"AUTHENTICATE +"});
      EXPECT_EQ(Feed({":irc.test 900 alice alice!a@h alice :You are now logged in as alice",
                      ":irc.test 903 alice :SASL authentication successful"}),
                (Shown{S("You are now logged in as alice"), S("SASL authentication successful")}));
    } else {
      EXPECT_EQ(shown, Shown{S("The server could not prove that it knows the password; SASL login aborted")});
      EXPECT_EQ(f_.SentUpToMarker(), Lines{"AUTHENTICATE *"});
      // A server that claims the login anyway is not shown doing so.
      EXPECT_EQ(Feed({":irc.test 900 alice alice!a@h alice :You are now logged in as alice",
                      ":irc.test 903 alice :SASL authentication successful"}),
                Shown{});
    }
    EXPECT_EQ(f_.SentUpToMarker(), Lines{"CAP END"});
    EXPECT_EQ(f_.client.capabilities->logged_in(), !forged);
    // The password itself never went to the server.
    EXPECT_EQ(f_.server.received().find("sesame"), std::string::npos);
    EXPECT_EQ(f_.server.received().find(Base64Encode("sesame")), std::string::npos);
  }
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
       {":irc.test CAP * LS :multi-prefix", ":irc.test CAP * ACK :multi-prefix"},
       {S("This server does not offer SASL PLAIN; continuing without logging in")},
       {"CAP REQ :multi-prefix", "CAP END"}},
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
  // 1 + 1 + 1 + 1 + 296 = 300 bytes of credentials: 400 encoded bytes.
  f_.server.Close();
  ConnectWith("a\r" + std::string(296, 'p') + "\r", "sasl=yes\n");
  Feed({"CAP * LS :sasl", "CAP * ACK :sasl", "AUTHENTICATE +"});
  const Lines sent = f_.SentUpToMarker();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[2].size(), 13u + 400u);
  EXPECT_EQ(sent[3], "AUTHENTICATE +");
}

// Account names and passwords of up to 300 characters are taken whole at the prompts; keys
// beyond that are not.
TEST_F(RegistrationTest, PromptsTakeThreeHundredCharactersOfAccountAndPassword) {
  const std::string account(300, 'a');
  const std::string password(300, 'p');
  ConnectWith(account + "bc\r" + password + "qr\r", "sasl=yes\n");
  Feed({"CAP * LS :sasl=PLAIN", "CAP * ACK :sasl", "AUTHENTICATE +"});
  const Lines sent = f_.SentUpToMarker();
  ASSERT_GE(sent.size(), 3u);
  EXPECT_EQ(sent[1], "AUTHENTICATE PLAIN");
  std::string encoded;
  for (size_t i = 2; i < sent.size() && sent[i] != "AUTHENTICATE +"; ++i) encoded += sent[i].substr(13);
  EXPECT_EQ(Base64Decode(encoded), account + '\0' + account + '\0' + password);
}

TEST_F(RegistrationTest, WithoutSaslNoPromptsAndNoLogin) {
  for (std::string_view keys : {"sasl=no\n", "sasl=0\n", "sasl=\n", "SASL=maybe\n"}) {
    SCOPED_TRACE(keys);
    f_.server.Close();
    ConnectWith("", keys);
    EXPECT_EQ(f_.server.received(),
              "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n");
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
       "WEBIRC s3cret ZelkIRC 203.0.113.7 203.0.113.7\r\nCAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost "
       "localhost :Joe "
       "Smith\r\n"},
      {"al\rpw\r", "webirc=s3cret\npass=1\n", "::1",
       "WEBIRC s3cret ZelkIRC 0::1 0::1\r\nCAP LS 302\r\nPASS :pw\r\nNICK al\r\nUSER al localhost localhost "
       ":Joe Smith\r\n"},
      {"al\rpw\r", "webirc=s3cret\nsasl=on\n", "2001:db8::7",
       "WEBIRC s3cret ZelkIRC 2001:db8::7 2001:db8::7\r\nCAP LS 302\r\nNICK al\r\n"
       "USER al localhost localhost :Joe Smith\r\n"},
      {"", "webirc=s3cret\n", "", "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n"},
      {"", "webirc=s3cret\n", "bbs.example.net",
       "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n"},
      {"", "webirc=\n", "203.0.113.7",
       "CAP LS 302\r\nNICK Wolf\r\nUSER Wolf localhost localhost :Joe Smith\r\n"},
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
