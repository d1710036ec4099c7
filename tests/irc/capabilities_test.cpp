#include "irc/protocol/capabilities.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/protocol/base64.h"
#include "irc/protocol/sasl_login.h"

namespace irc {
namespace {

using Lines = std::vector<std::string>;

TEST(Base64Test, KnownVectors) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string_view("\0\xFF\xFE", 3), "AP/+"},
  };
  for (auto [in, out] : cases) EXPECT_EQ(Base64Encode(in), out) << in;
}

TEST(AuthenticateLinesTest, PiecesOf400AndATerminatorAfterAFullOne) {
  struct Case {
    size_t length;
    Lines pieces;  // as lengths of the payload parts, "+" for the terminator
  };
  auto lengths = [](const Lines& lines) {
    Lines out;
    for (const std::string& line : lines) {
      EXPECT_TRUE(line.starts_with("AUTHENTICATE "));
      const std::string rest = line.substr(13);
      out.push_back(rest == "+" ? "+" : std::to_string(rest.size()));
    }
    return out;
  };
  const Case cases[] = {
      {0, {"+"}},
      {4, {"4"}},
      {399, {"399"}},
      {400, {"400", "+"}},
      {401, {"400", "1"}},
      {800, {"400", "400", "+"}},
      {1204, {"400", "400", "400", "4"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lengths(AuthenticateLines(std::string(c.length, 'Q'))), c.pieces) << c.length;
  }
  const Lines lines = AuthenticateLines(std::string(399, 'a') + "bc");
  EXPECT_EQ(lines[1], "AUTHENTICATE c");  // the order of the bytes is kept
}

// One negotiation fed a script of server lines: everything sent and shown, in order.
struct Exchange {
  Lines sent;
  Lines status;
  int consumed = 0;
  std::optional<int> sts_port;
  std::optional<int64_t> sts_duration;
};

Exchange Play(CapNegotiation& caps, const Lines& server_lines) {
  Exchange run;
  ServerMessage message;
  for (const std::string& line : server_lines) {
    message.Parse(line);
    CapNegotiation::Step step = caps.OnServerLine(message);
    run.sent.insert(run.sent.end(), step.send.begin(), step.send.end());
    run.status.insert(run.status.end(), step.status.begin(), step.status.end());
    run.consumed += step.consumed ? 1 : 0;
    if (step.sts_port) run.sts_port = step.sts_port;
    if (step.sts_duration) run.sts_duration = step.sts_duration;
  }
  return run;
}

CapNegotiation::Settings WithLogin(std::string account, std::string password) {
  CapNegotiation::Settings settings;
  settings.login = CapNegotiation::Login{std::move(account), std::move(password)};
  return settings;
}

constexpr char kNoSasl[] = "This server does not offer SASL PLAIN; continuing without logging in";
constexpr char kRefused[] = "This server refused SASL; continuing without logging in";
constexpr char kFailed[] = "SASL login failed; continuing without logging in";

TEST(CapNegotiationTest, RequestsWhatTheDoorUsesAndLogsInOverAMultiLineListing) {
  CapNegotiation caps(WithLogin("jilles", "sesame"));
  Exchange run = Play(caps, {
                                ":irc.test CAP * LS * :multi-prefix away-notify",
                                ":irc.test CAP * LS * :account-tag sasl=EXTERNAL,PLAIN",
                                ":irc.test NOTICE * :*** Looking up your hostname...",
                            });
  EXPECT_EQ(run.sent, Lines{});  // nothing until the listing ends
  EXPECT_TRUE(caps.negotiating());
  run = Play(caps, {
                       ":irc.test CAP * LS :server-time batch",
                       ":irc.test CAP * ACK :multi-prefix server-time away-notify",
                       ":irc.test CAP * ACK :sasl ",
                       ":irc.test AUTHENTICATE :+",
                       ":irc.test 900 jilles jilles!u@h jilles :You are now logged in as jilles",
                       ":irc.test 903 jilles :SASL authentication successful",
                       ":irc.test CAP jilles NEW :batch",
                   });
  EXPECT_EQ(run.sent, (Lines{"CAP REQ :multi-prefix server-time away-notify", "CAP REQ :sasl",
                             "AUTHENTICATE PLAIN", "AUTHENTICATE amlsbGVzAGppbGxlcwBzZXNhbWU=", "CAP END"}));
  EXPECT_EQ(run.status, Lines{});
  EXPECT_EQ(run.consumed, 5);  // LS, two ACKs, AUTHENTICATE, NEW; numerics are for the reply table
  EXPECT_FALSE(caps.negotiating());
  EXPECT_TRUE(caps.logged_in());
  EXPECT_TRUE(caps.enabled(Capability::kServerTime));
  EXPECT_TRUE(caps.enabled(Capability::kAwayNotify));
  EXPECT_FALSE(caps.enabled(Capability::kExtendedJoin));
}

TEST(CapNegotiationTest, WithoutALoginEveryPathEndsOnceAndQuietly) {
  struct Case {
    const char* name;
    Lines script;
    Lines sent;
    int consumed;
  };
  const Case cases[] = {
      {"nothing the door uses", {":s CAP * LS :batch draft/foo sasl"}, {"CAP END"}, 1},
      {"empty listing", {":s CAP * LS :"}, {"CAP END"}, 1},
      {"everything",
       {":s CAP * LS :cap-notify multi-prefix userhost-in-names server-time message-tags away-notify "
        "account-notify extended-join chghost invite-notify setname sasl=PLAIN sts=duration=9",
        ":s CAP * ACK :cap-notify multi-prefix userhost-in-names server-time message-tags away-notify "
        "account-notify extended-join chghost invite-notify setname"},
       {"CAP REQ :cap-notify multi-prefix userhost-in-names server-time message-tags away-notify "
        "account-notify "
        "extended-join chghost invite-notify setname",
        "CAP END"},
       2},
      {"refused",
       {":s CAP * LS :multi-prefix", ":s CAP * NAK :multi-prefix"},
       {"CAP REQ :multi-prefix", "CAP END"},
       2},
      // A server without CAP registers on NICK and USER: its complaint about CAP is not shown.
      {"no CAP", {":s 421 * CAP :Unknown command"}, {}, 1},
      {"bad subcommand", {":s 410 * LS :Invalid CAP command"}, {"CAP END"}, 1},
      {"welcomed without waiting", {":s 001 a :Welcome", ":s CAP * LS :multi-prefix"}, {}, 1},
      {"a flood after the end",
       {":s CAP * LS :multi-prefix", ":s CAP * ACK :multi-prefix", ":s CAP * ACK :multi-prefix",
        ":s CAP * LS :multi-prefix", ":s CAP * NAK :multi-prefix", ":s 421 * CAP :x", ":s 001 a :hi"},
       {"CAP REQ :multi-prefix", "CAP END"},
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CapNegotiation caps({});
    const Exchange run = Play(caps, c.script);
    EXPECT_EQ(run.sent, c.sent);
    EXPECT_EQ(run.status, Lines{});
    EXPECT_EQ(run.consumed, c.consumed);
    EXPECT_FALSE(caps.negotiating());
    EXPECT_FALSE(run.sts_port);
  }
}

TEST(CapNegotiationTest, LoginEndingsWithoutAnAccount) {
  struct Case {
    const char* name;
    Lines script;
    Lines sent;
    Lines status;
  };
  const Case cases[] = {
      {"no sasl listed", {":s CAP * LS :multi-prefix sasl2 xsasl"}, {"CAP REQ :multi-prefix"}, {kNoSasl}},
      {"no mechanism the door has",
       {":s CAP * LS :sasl=EXTERNAL,ECDSA-NIST256P-CHALLENGE"},
       {"CAP END"},
       {kNoSasl}},
      {"empty listing", {":s CAP * LS :"}, {"CAP END"}, {kNoSasl}},
      {"no CAP at all",
       {":s 421 * CAP :Unknown command"},
       {},
       {"This server does not support SASL; continuing without logging in"}},
      {"request refused",
       {":s CAP * LS :sasl", ":s CAP * NAK :sasl"},
       {"CAP REQ :sasl", "CAP END"},
       {kRefused}},
      {"granted without sasl",
       {":s CAP * LS :sasl", ":s CAP * ACK :-sasl"},
       {"CAP REQ :sasl", "CAP END"},
       {kRefused}},
      {"bad password",
       {"CAP * LS :sasl=PLAIN", "CAP * ACK :sasl", "AUTHENTICATE +", ":s 904 a :SASL authentication failed"},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", "AUTHENTICATE YQBhAHB3", "CAP END"},
       {kFailed}},
      {"mechanism refused",
       {":s CAP * LS :sasl", ":s CAP * ACK :sasl", ":s 908 a EXTERNAL :are available SASL mechanisms",
        ":s 904 a :SASL authentication failed"},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", "CAP END"},
       {kFailed}},
      {"a challenge PLAIN does not have",
       {":s CAP * LS :sasl", ":s CAP * ACK :sasl", "AUTHENTICATE Zm9v",
        ":s 906 a :SASL authentication aborted"},
       {"CAP REQ :sasl", "AUTHENTICATE PLAIN", "AUTHENTICATE *", "CAP END"},
       {kFailed}},
      {"welcomed without waiting", {":s 001 a :Welcome", ":s CAP * LS :sasl"}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CapNegotiation caps(WithLogin("a", "pw"));
    const Exchange run = Play(caps, c.script);
    EXPECT_EQ(run.sent, c.sent);
    EXPECT_EQ(run.status, c.status);
    EXPECT_FALSE(caps.logged_in());
  }
}

TEST(CapNegotiationTest, OtherLinesPassThroughUntouched) {
  CapNegotiation caps(WithLogin("a", "pw"));
  const Exchange run = Play(caps, {":s NOTICE * :hello", ":s 421 * FOO :Unknown command", ":s 020 * :wait",
                                   "PING :x", ":s 904 a :too early", "AUTHENTICATE +"});
  EXPECT_EQ(run.sent, Lines{});
  EXPECT_EQ(run.status, Lines{});
  EXPECT_EQ(run.consumed, 1);  // the AUTHENTICATE, which is ignored out of turn
  EXPECT_TRUE(caps.negotiating());
}

TEST(CapNegotiationTest, NewAndDelDuringTheSession) {
  CapNegotiation caps({});
  Play(caps, {":s CAP * LS :multi-prefix", ":s CAP * ACK :multi-prefix"});
  const Exchange run =
      Play(caps, {":s CAP me NEW :away-notify batch setname", ":s CAP me ACK :away-notify setname",
                  ":s CAP me DEL :multi-prefix setname", ":s CAP me NEW :multi-prefix",
                  ":s CAP me NEW :sasl=PLAIN"});
  EXPECT_EQ(run.sent, (Lines{"CAP REQ :away-notify setname", "CAP REQ :multi-prefix"}));
  EXPECT_EQ(run.consumed, 5);
  EXPECT_TRUE(caps.enabled(Capability::kAwayNotify));
  EXPECT_FALSE(caps.enabled(Capability::kSetname));
  EXPECT_FALSE(caps.enabled(Capability::kMultiPrefix));  // until the server acknowledges it again
}

TEST(CapNegotiationTest, GivingUpEndsTheNegotiationOnce) {
  struct Case {
    const char* name;
    bool login;
    Lines script;
    Lines sent;
    Lines status;
  };
  const Case cases[] = {
      {"no answer", false, {}, {"CAP END"}, {}},
      {"an endless listing", false, {":s CAP * LS * :a", ":s CAP * LS * :b"}, {"CAP END"}, {}},
      {"no answer to a login",
       true,
       {},
       {"CAP END"},
       {"This server does not support SASL; continuing without logging in"}},
      {"a stalled login",
       true,
       {":s CAP * LS :sasl", ":s CAP * ACK :sasl"},
       {"AUTHENTICATE *", "CAP END"},
       {kFailed}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CapNegotiation caps(c.login ? WithLogin("a", "pw") : CapNegotiation::Settings{});
    Play(caps, c.script);
    const CapNegotiation::Step step = caps.GiveUp();
    EXPECT_EQ(step.send, c.sent);
    EXPECT_EQ(step.status, c.status);
    EXPECT_FALSE(caps.negotiating());
    EXPECT_TRUE(caps.GiveUp().send.empty());
  }
}

TEST(CapNegotiationTest, StrictTransportSecurity) {
  struct Case {
    const char* name;
    bool tls;
    Lines script;
    std::optional<int> port;
    std::optional<int64_t> duration;
    Lines sent;
  };
  const Case cases[] = {
      // On a plain link the server's port is taken at once: nothing more is said there.
      {"plain",
       false,
       {":s CAP * LS * :multi-prefix sts=port=6697,duration=300", ":s CAP * LS :sasl"},
       6697,
       {},
       {}},
      {"plain, no port",
       false,
       {":s CAP * LS :sts=duration=300 multi-prefix"},
       {},
       {},
       {"CAP REQ :multi-prefix"}},
      {"plain, bad port", false, {":s CAP * LS :sts=port=70000"}, {}, {}, {"CAP END"}},
      {"tls", true, {":s CAP * LS :sts=port=6697,duration=2592000,preload"}, {}, 2592000, {"CAP END"}},
      {"tls, policy removed", true, {":s CAP * LS :sts=duration=0"}, {}, 0, {"CAP END"}},
      {"tls, no duration", true, {":s CAP * LS :sts=port=6697"}, {}, {}, {"CAP END"}},
      {"tls, bad duration", true, {":s CAP * LS :sts=duration=soon"}, {}, {}, {"CAP END"}},
      {"tls, later", true, {":s CAP * LS :", ":s CAP * NEW :sts=duration=60"}, {}, 60, {"CAP END"}},
      {"plain, later",
       false,
       {":s CAP * LS :", ":s CAP * NEW :sts=port=6697 setname"},
       6697,
       {},
       {"CAP END"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CapNegotiation::Settings settings;
    settings.tls = c.tls;
    CapNegotiation caps(std::move(settings));
    const Exchange run = Play(caps, c.script);
    EXPECT_EQ(run.sts_port, c.port);
    EXPECT_EQ(run.sts_duration, c.duration);
    EXPECT_EQ(run.sent, c.sent);
  }
}

TEST(CapNegotiationTest, CredentialsOfExactly400EncodedBytesEndWithATerminator) {
  // 1 + 1 + 1 + 1 + 296 = 300 bytes of credentials encode to exactly 400 bytes.
  CapNegotiation caps(WithLogin("a", std::string(296, 'p')));
  const Exchange run = Play(caps, {"CAP * LS :sasl", "CAP * ACK :sasl", "AUTHENTICATE +"});
  ASSERT_EQ(run.sent.size(), 4u);
  EXPECT_EQ(run.sent[2].size(), 13u + 400u);
  EXPECT_EQ(run.sent[2].substr(13), Base64Encode(std::string("a\0a\0", 4) + std::string(296, 'p')));
  EXPECT_EQ(run.sent[3], "AUTHENTICATE +");
}

TEST(SaslMechanismTest, TheStrongestOfTheServersList) {
  struct Case {
    std::optional<std::string_view> offered;
    bool scram;
    std::optional<SaslMechanism> chosen;
  };
  const Case cases[] = {
      {std::nullopt, true, SaslMechanism::kPlain},
      {"PLAIN,SCRAM-SHA-256", true, SaslMechanism::kScramSha256},
      {"SCRAM-SHA-256,SCRAM-SHA-512,PLAIN", true, SaslMechanism::kScramSha512},
      {"scram-sha-256", true, SaslMechanism::kScramSha256},
      {"PLAIN,SCRAM-SHA-256", false, SaslMechanism::kPlain},
      {"SCRAM-SHA-256", false, std::nullopt},
      {"SCRAM-SHA-1,EXTERNAL", true, std::nullopt},
      {"", true, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offered.value_or("(no list)"));
    EXPECT_EQ(ChooseMechanism(c.offered, c.scram), c.chosen);
  }
}

}  // namespace
}  // namespace irc
