// SCRAM against the worked example of RFC 7677 (and the same exchange with SHA-512), alone and as
// a SASL login inside capability negotiation; servers that cannot prove they know the password.
#include "irc/protocol/scram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/protocol/base64.h"
#include "irc/protocol/capabilities.h"

namespace irc {
namespace {

using Lines = std::vector<std::string>;

constexpr char kNonce[] = "rOprNGfwEbeRWgbNEkqO";
constexpr char kServerFirst[] =
    "r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";

struct Vector {
  platform::Digest digest;
  std::string_view client_final;
  std::string_view server_final;
};

const Vector kVectors[] = {
    // RFC 7677, section 3.
    {platform::Digest::kSha256,
     "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,p=dHzbZapWIk4jUhN+"
     "Ute9ytag9zjfMHgsqmmiz7AndVQ=",
     "v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4="},
    // The same exchange with SHA-512, worked out with Python's hashlib.
    {platform::Digest::kSha512,
     "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,p=gMGXRcevScNtxZ6/"
     "8lQYpGtnsNAc3mGcmNomv+xnoOMw+3R2xNJdMNnzMlTN8PPC6wdp6dybEmDYXYTxwnYPJQ==",
     "v=ZQnYEgWQMFmmsM8aQMF0nDDCy/AgCzkwk8CmMZYcMg0vSVlKDanekLtifDSeVGT4+5ZxXnJq199RVG2rR7N7Zw=="},
};

TEST(ScramTest, TheWorkedExample) {
  ASSERT_TRUE(platform::CryptoAvailable());
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(platform::DigestSize(v.digest));
    ScramClient scram(v.digest, "user", "pencil", kNonce);
    EXPECT_EQ(scram.ClientFirst(), "n,,n=user,r=rOprNGfwEbeRWgbNEkqO");
    EXPECT_EQ(scram.OnServerFirst(kServerFirst), v.client_final);
    EXPECT_TRUE(scram.OnServerFinal(v.server_final));
    EXPECT_EQ(scram.failure(), ScramClient::Failure::kNone);
  }
}

TEST(ScramTest, ServersThatCannotProveThemselves) {
  struct Case {
    const char* name;
    std::string_view server_first;
    std::string_view server_final;  // empty: the first message already fails
    ScramClient::Failure failure;
  };
  const Case cases[] = {
      {"forged signature", kServerFirst,
       "v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G5=", ScramClient::Failure::kSignature},
      {"signature of another password", kServerFirst,
       "v=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=", ScramClient::Failure::kSignature},
      {"no signature", kServerFirst, "x=1", ScramClient::Failure::kMalformed},
      {"signature not in base64", kServerFirst, "v=6rriTRBi23WpRR", ScramClient::Failure::kSignature},
      {"error at the end", kServerFirst, "e=invalid-proof", ScramClient::Failure::kRefused},
      {"someone else's nonce", "r=xOprNGfwEbeRWgbNEkqO%hv,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096", "",
       ScramClient::Failure::kNonce},
      {"no nonce of its own", "r=rOprNGfwEbeRWgbNEkqO,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096", "",
       ScramClient::Failure::kNonce},
      {"too many iterations", "r=rOprNGfwEbeRWgbNEkqOx,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=1000001", "",
       ScramClient::Failure::kIterations},
      {"too few iterations", "r=rOprNGfwEbeRWgbNEkqOx,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=1", "",
       ScramClient::Failure::kIterations},
      {"iterations not a number", "r=rOprNGfwEbeRWgbNEkqOx,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096x", "",
       ScramClient::Failure::kMalformed},
      {"salt not in base64", "r=rOprNGfwEbeRWgbNEkqOx,s=W22Z!,i=4096", "", ScramClient::Failure::kMalformed},
      {"no salt", "r=rOprNGfwEbeRWgbNEkqOx,i=4096", "", ScramClient::Failure::kMalformed},
      {"a mandatory extension", "m=ext,r=rOprNGfwEbeRWgbNEkqOx,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096", "",
       ScramClient::Failure::kMalformed},
      {"error at once", "e=unknown-user", "", ScramClient::Failure::kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScramClient scram(platform::Digest::kSha256, "user", "pencil", kNonce);
    const std::optional<std::string> client_final = scram.OnServerFirst(c.server_first);
    if (c.server_final.empty()) {
      EXPECT_FALSE(client_final);
    } else {
      ASSERT_TRUE(client_final);
      EXPECT_FALSE(scram.OnServerFinal(c.server_final));
    }
    EXPECT_EQ(scram.failure(), c.failure);
    // Nothing more is accepted after a failure.
    EXPECT_FALSE(scram.OnServerFinal(kVectors[0].server_final));
  }
}

TEST(ScramTest, UserNamesEscapeEqualsAndComma) {
  ScramClient scram(platform::Digest::kSha256, "a=b,c", "pw", "n0nce");
  EXPECT_EQ(scram.ClientFirst(), "n,,n=a=3Db=2Cc,r=n0nce");
}

TEST(ScramTest, NoncesAreFreshBase64) {
  const std::optional<std::string> a = ScramClient::MakeNonce();
  const std::optional<std::string> b = ScramClient::MakeNonce();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->size(), 32u);
  EXPECT_NE(*a, *b);
  EXPECT_EQ(a->find(','), std::string::npos);
}

TEST(Base64Test, DecodingTakesOnlyCanonicalText) {
  const std::pair<std::string_view, std::optional<std::string>> cases[] = {
      {"", ""},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9vYmFy", "foobar"},
      {"AP/+", std::string("\0\xFF\xFE", 3)},
      {"Zg=", std::nullopt},
      {"Zg=a", std::nullopt},
      {"Z===", std::nullopt},
      {"Zh==", std::nullopt},  // bits left over
      {"Zm9v\nYmFy", std::nullopt},
      {"Zm9-", std::nullopt},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(Base64Decode(in), out) << in;
}

// The SCRAM login inside the negotiation, with the example's nonce and password.
class ScramLoginTest : public testing::Test {
 protected:
  CapNegotiation::Settings Settings() {
    CapNegotiation::Settings settings;
    settings.login = CapNegotiation::Login{"user", "pencil"};
    settings.scram_available = true;
    settings.make_nonce = [] { return std::optional<std::string>(kNonce); };
    return settings;
  }

  Lines Feed(CapNegotiation& caps, std::initializer_list<std::string_view> lines) {
    Lines sent;
    for (std::string_view line : lines) {
      ServerMessage message;
      message.Parse(line);
      CapNegotiation::Step step = caps.OnServerLine(message);
      sent.insert(sent.end(), step.send.begin(), step.send.end());
      status.insert(status.end(), step.status.begin(), step.status.end());
    }
    return sent;
  }

  static std::string Authenticate(std::string_view message) {
    return "AUTHENTICATE " + Base64Encode(message);
  }

  Lines status;
};

TEST_F(ScramLoginTest, PreferredOverPlainAndProvenByTheServer) {
  CapNegotiation caps(Settings());
  EXPECT_EQ(Feed(caps, {":s CAP * LS :sasl=PLAIN,SCRAM-SHA-256", ":s CAP * ACK :sasl", "AUTHENTICATE +"}),
            (Lines{"CAP REQ :sasl", "AUTHENTICATE SCRAM-SHA-256",
                   Authenticate("n,,n=user,r=rOprNGfwEbeRWgbNEkqO")}));
  EXPECT_EQ(Feed(caps, {Authenticate(kServerFirst)}), Lines{Authenticate(kVectors[0].client_final)});
  EXPECT_EQ(Feed(caps, {Authenticate(kVectors[0].server_final)}), Lines{"AUTHENTICATE +"});
  EXPECT_EQ(Feed(caps, {":s 900 user user!u@h user :You are now logged in as user",
                        ":s 903 user :SASL authentication successful"}),
            Lines{"CAP END"});
  EXPECT_EQ(status, Lines{});
  EXPECT_TRUE(caps.logged_in());
}

TEST_F(ScramLoginTest, AForgedSignatureAbortsTheLogin) {
  CapNegotiation caps(Settings());
  Feed(caps, {":s CAP * LS :sasl=SCRAM-SHA-256", ":s CAP * ACK :sasl", "AUTHENTICATE +",
              Authenticate(kServerFirst)});
  EXPECT_EQ(Feed(caps, {Authenticate("v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G5=")}),
            Lines{"AUTHENTICATE *"});
  EXPECT_EQ(status, Lines{"The server could not prove that it knows the password; SASL login aborted"});
  // Whatever the server claims now, the door is not logged in.
  EXPECT_EQ(Feed(caps, {":s 900 user user!u@h user :You are now logged in as user",
                        ":s 903 user :SASL authentication successful"}),
            Lines{"CAP END"});
  EXPECT_FALSE(caps.logged_in());
  EXPECT_EQ(status.size(), 1u);
}

TEST_F(ScramLoginTest, ASuccessWithoutProofIsNotBelieved) {
  CapNegotiation caps(Settings());
  Feed(caps, {":s CAP * LS :sasl=SCRAM-SHA-256", ":s CAP * ACK :sasl", "AUTHENTICATE +",
              Authenticate(kServerFirst)});
  EXPECT_EQ(Feed(caps, {":s 900 user user!u@h user :You are now logged in as user",
                        ":s 903 user :SASL authentication successful"}),
            Lines{"CAP END"});
  EXPECT_EQ(status, Lines{"The server could not prove that it knows the password; SASL login aborted"});
  EXPECT_FALSE(caps.logged_in());
}

TEST_F(ScramLoginTest, AWrongPasswordIsTheServersToRefuse) {
  CapNegotiation caps(Settings());
  Feed(caps, {":s CAP * LS :sasl=SCRAM-SHA-512", ":s CAP * ACK :sasl", "AUTHENTICATE +",
              Authenticate(kServerFirst)});
  EXPECT_EQ(Feed(caps, {":s 904 user :SASL authentication failed"}), Lines{"CAP END"});
  EXPECT_EQ(status, Lines{"SASL login failed; continuing without logging in"});
}

TEST_F(ScramLoginTest, ServerMessagesInPiecesAndBeyondTheLimit) {
  // A server-first message of more than 400 encoded bytes comes in pieces.
  const std::string long_first = std::string(kServerFirst) + ",x=" + std::string(400, 'y');
  const std::string encoded = Base64Encode(long_first);
  ASSERT_GT(encoded.size(), 400u);
  CapNegotiation caps(Settings());
  Feed(caps, {":s CAP * LS :sasl=SCRAM-SHA-256", ":s CAP * ACK :sasl", "AUTHENTICATE +"});
  EXPECT_EQ(Feed(caps, {"AUTHENTICATE " + encoded.substr(0, 400)}), Lines{});
  const Lines sent = Feed(caps, {"AUTHENTICATE " + encoded.substr(400)});
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_TRUE(sent[0].starts_with("AUTHENTICATE Yz1iaXdz")) << sent[0];  // "c=biws"

  CapNegotiation flooded(Settings());
  Feed(flooded, {":s CAP * LS :sasl=SCRAM-SHA-256", ":s CAP * ACK :sasl", "AUTHENTICATE +"});
  Lines flood;
  for (int i = 0; i < 11; ++i) flood = Feed(flooded, {"AUTHENTICATE " + std::string(400, 'A')});
  EXPECT_EQ(flood, Lines{"AUTHENTICATE *"});
  EXPECT_EQ(status.back(), "The server sent a malformed SCRAM message; SASL login aborted");
}

}  // namespace
}  // namespace irc
