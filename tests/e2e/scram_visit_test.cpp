// A SCRAM login by the real binary (which loads the crypto library for it) over a real caller
// socket: a scripted server plays the services with a SCRAM implementation of the test's own,
// made from OpenSSL, checks the door's proof with a fresh nonce, and signs the exchange or forges
// the signature.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "support/door_process.h"
#include "support/scram_server.h"
#include "support/scripted_server.h"

namespace {

using testsupport::DoorProcess;
using testsupport::ScramServer;
using testsupport::ScriptedServer;

class ScramVisit : public ::testing::Test {
 protected:
  // The door logs in as alice with the server offering `offered`; up to the server's final
  // message, which is the right signature or, with forge, another one. Returns the mechanism the
  // door chose.
  std::string LogIn(std::string_view offered, ScramServer& scram, bool forge) {
    door_ = std::make_unique<DoorProcess>(
        "[general]\nusername=Alice Liddell\nhandle=Guest\n[Scripted]\n127.0.0.1=" +
        std::to_string(server_.port()) + "\nsasl=yes\n");
    DoorProcess& door = *door_;
    door.StartWithCaller();
    EXPECT_TRUE(door.CallerLogsIn("alice", "sesame123", 10000)) << door.CallerReceived();
    if (!server_.Accept(10000) || !server_.WaitForLine("CAP LS 302", 5000)) return "";
    server_.SendLine(":irc.test CAP * LS :sasl=" + std::string(offered));
    EXPECT_EQ(server_.WaitForLine("CAP REQ ", 5000), "CAP REQ :sasl");
    server_.SendLine(":irc.test CAP alice ACK :sasl");
    const std::optional<std::string> start = server_.WaitForLine("AUTHENTICATE ", 5000);
    if (!start) return "";
    server_.SendLine("AUTHENTICATE +");
    const std::optional<std::string> first = Message();
    const std::optional<std::string> server_first = first ? scram.ServerFirst(*first) : std::nullopt;
    if (!server_first) return "no client-first message";
    server_.SendLine("AUTHENTICATE " + ScramServer::Base64(*server_first));
    const std::optional<std::string> last = Message();
    const std::optional<std::string> server_final = last ? scram.ServerFinal(*last) : std::nullopt;
    EXPECT_TRUE(server_final.has_value()) << "the door's proof is wrong: " << last.value_or("(none)");
    if (!server_final) return "";
    const std::string forged = "v=" + ScramServer::Base64(std::string(32, 'x'));
    server_.SendLine("AUTHENTICATE " + ScramServer::Base64(forge ? forged : *server_final));
    return start->substr(13);
  }

  // The decoded payload of the door's next AUTHENTICATE line.
  std::optional<std::string> Message() {
    const std::optional<std::string> line = server_.WaitForLine("AUTHENTICATE ", 5000);
    return line ? ScramServer::Unbase64(line->substr(13)) : std::nullopt;
  }

  void Welcome() {
    DoorProcess& door = *door_;
    server_.SendLine(":irc.test 001 alice :Welcome to the Scripted IRC Network alice");
    EXPECT_TRUE(door.CallerWaitFor("Welcome to the Scripted IRC Network alice", 5000))
        << door.CallerReceived();
    door.CallerTypes("/quit\r");
    EXPECT_TRUE(server_.WaitForLine("QUIT ", 5000));
    // The password never left the door: no PLAIN login was even started.
    EXPECT_EQ(server_.received().find("AUTHENTICATE PLAIN"), std::string::npos);
    EXPECT_EQ(server_.received().find("sesame123"), std::string::npos);
    server_.Close();
    EXPECT_EQ(door.WaitExit(5000), 0);
    EXPECT_EQ(door.CallerReceived().find("sesame123"), std::string::npos);
  }

  ScriptedServer server_;
  std::unique_ptr<DoorProcess> door_;
};

TEST_F(ScramVisit, StrongestScramIsChosenAndTheServerProvesItself) {
  const struct {
    std::string_view offered;
    const char* digest;
    std::string_view chosen;
  } cases[] = {
      {"PLAIN,SCRAM-SHA-256,SCRAM-SHA-512", "SHA512", "SCRAM-SHA-512"},
      {"PLAIN,SCRAM-SHA-256", "SHA256", "SCRAM-SHA-256"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offered);
    ScramServer scram(c.digest, "sesame123", "W22ZaJ0SNY7soEsUEjb6gQ==", 4096);
    EXPECT_EQ(LogIn(c.offered, scram, false), c.chosen);
    EXPECT_EQ(scram.user(), "alice");
    EXPECT_TRUE(server_.WaitForLine("AUTHENTICATE +", 5000));
    server_.SendLine(":irc.test 900 alice alice!alice@127.0.0.1 alice :You are now logged in as alice");
    server_.SendLine(":irc.test 903 alice :SASL authentication successful");
    EXPECT_TRUE(server_.WaitForLine("CAP END", 5000));
    EXPECT_TRUE(door_->CallerWaitFor("SASL authentication successful", 5000)) << door_->CallerReceived();
    EXPECT_NE(door_->CallerReceived().find("You are now logged in as alice"), std::string::npos);
    Welcome();
  }
}

TEST_F(ScramVisit, AForgedServerSignatureAbortsTheLogin) {
  ScramServer scram("SHA512", "sesame123", "W22ZaJ0SNY7soEsUEjb6gQ==", 4096);
  EXPECT_EQ(LogIn("SCRAM-SHA-512,PLAIN", scram, true), "SCRAM-SHA-512");
  EXPECT_TRUE(server_.WaitForLine("AUTHENTICATE *", 5000));
  server_.SendLine(":irc.test 906 alice :SASL authentication aborted");
  EXPECT_TRUE(server_.WaitForLine("CAP END", 5000));
  EXPECT_TRUE(
      door_->CallerWaitFor("The server could not prove that it knows the password; SASL login aborted", 5000))
      << door_->CallerReceived();
  EXPECT_EQ(door_->CallerReceived().find("logged in as"), std::string::npos);
  Welcome();
}

}  // namespace
