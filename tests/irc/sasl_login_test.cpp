#include "irc/sasl_login.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/base64.h"

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
};

Exchange Play(SaslLogin& login, const Lines& server_lines) {
  Exchange run;
  ServerMessage message;
  for (const std::string& line : server_lines) {
    message.Parse(line);
    SaslLogin::Step step = login.OnServerLine(message);
    run.sent.insert(run.sent.end(), step.send.begin(), step.send.end());
    run.status.insert(run.status.end(), step.status.begin(), step.status.end());
    run.consumed += step.consumed ? 1 : 0;
  }
  return run;
}

constexpr char kNoSasl[] = "This server does not offer SASL PLAIN; continuing without logging in";
constexpr char kRefused[] = "This server refused SASL; continuing without logging in";
constexpr char kFailed[] = "SASL login failed; continuing without logging in";

TEST(SaslLoginTest, LogsInOverAMultiLineListing) {
  SaslLogin login("jilles", "sesame");
  Exchange run = Play(login, {
                                 ":irc.test CAP * LS * :multi-prefix away-notify",
                                 ":irc.test CAP * LS * :account-tag sasl=EXTERNAL,PLAIN",
                                 ":irc.test NOTICE * :*** Looking up your hostname...",
                             });
  EXPECT_EQ(run.sent, Lines{});  // nothing until the listing ends
  EXPECT_TRUE(login.active());
  run = Play(login, {
                        ":irc.test CAP * LS :server-time",
                        ":irc.test CAP * ACK :sasl ",
                        ":irc.test AUTHENTICATE :+",
                        ":irc.test 900 jilles jilles!u@h jilles :You are now logged in as jilles",
                        ":irc.test 903 jilles :SASL authentication successful",
                        ":irc.test CAP jilles NEW :batch",
                    });
  EXPECT_EQ(run.sent, (Lines{"CAP REQ :sasl", "AUTHENTICATE PLAIN",
                             "AUTHENTICATE amlsbGVzAGppbGxlcwBzZXNhbWU=", "CAP END"}));
  EXPECT_EQ(run.status, Lines{});
  EXPECT_EQ(run.consumed, 3);  // LS, ACK, AUTHENTICATE; numerics are for the reply table
  EXPECT_FALSE(login.active());
  EXPECT_TRUE(login.logged_in());
}

TEST(SaslLoginTest, EndingsWithoutAnAccount) {
  struct Case {
    const char* name;
    Lines script;
    Lines sent;
    Lines status;
  };
  const Case cases[] = {
      {"no sasl listed", {":s CAP * LS :multi-prefix sasl2 xsasl"}, {"CAP END"}, {kNoSasl}},
      {"sasl without PLAIN", {":s CAP * LS :sasl=EXTERNAL,SCRAM-SHA-256"}, {"CAP END"}, {kNoSasl}},
      {"empty listing", {":s CAP * LS :"}, {"CAP END"}, {kNoSasl}},
      {"no CAP at all",
       {":s 421 * CAP :Unknown command"},
       {},
       {"This server does not support SASL; continuing without logging in"}},
      {"request refused",
       {":s CAP * LS :sasl", ":s CAP * NAK :sasl"},
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
    SaslLogin login("a", "pw");
    const Exchange run = Play(login, c.script);
    EXPECT_EQ(run.sent, c.sent) << c.name;
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_FALSE(login.active()) << c.name;
    EXPECT_FALSE(login.logged_in()) << c.name;
  }
}

TEST(SaslLoginTest, OtherLinesPassThroughUntouched) {
  SaslLogin login("a", "pw");
  const Exchange run = Play(login, {":s NOTICE * :hello", ":s 421 * FOO :Unknown command", ":s 020 * :wait",
                                    "PING :x", ":s 904 a :too early", "AUTHENTICATE +"});
  EXPECT_EQ(run.sent, Lines{});
  EXPECT_EQ(run.status, Lines{});
  EXPECT_EQ(run.consumed, 1);  // the AUTHENTICATE, which is ignored out of turn
  EXPECT_TRUE(login.active());
}

TEST(SaslLoginTest, CredentialsOfExactly400EncodedBytesEndWithATerminator) {
  // 1 + 1 + 1 + 1 + 296 = 300 bytes of credentials encode to exactly 400 bytes.
  SaslLogin login("a", std::string(296, 'p'));
  const Exchange run = Play(login, {"CAP * LS :sasl", "CAP * ACK :sasl", "AUTHENTICATE +"});
  ASSERT_EQ(run.sent.size(), 4u);
  EXPECT_EQ(run.sent[2].size(), 13u + 400u);
  EXPECT_EQ(run.sent[2].substr(13), Base64Encode(std::string("a\0a\0", 4) + std::string(296, 'p')));
  EXPECT_EQ(run.sent[3], "AUTHENTICATE +");
}

}  // namespace
}  // namespace irc
