// The client side of a SASL SCRAM exchange (RFC 5802 with SHA-256 as in RFC 7677, or SHA-512): the
// password never leaves the door, and the server must prove that it knows it too. It knows no
// sockets: it turns each server message into the next client message.
//
//   ScramClient scram(platform::Digest::kSha256, "user", "pencil", nonce);
//   send(scram.ClientFirst());
//   std::optional<std::string> final = scram.OnServerFirst(server_first);  // nothing: failure()
//   send(*final);
//   bool proven = scram.OnServerFinal(server_final);
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/crypto.h"

namespace irc {

class ScramClient {
 public:
  // More iterations than this are refused: a server could make the door hash for minutes.
  static constexpr int kMaxIterations = 1'000'000;
  // Fewer than this (RFC 7677 asks for at least 4096) are refused too.
  static constexpr int kMinIterations = 4096;

  enum class Failure {
    kNone,
    kMalformed,   // a server message that is not what SCRAM sends
    kNonce,       // the server's nonce does not extend the client's
    kIterations,  // an iteration count outside the limits above
    kRefused,     // the server sent an error ("e=...")
    kSignature,   // the server's signature is wrong: it does not know the password
    kCrypto,      // the crypto library failed or is missing
  };

  // The nonce is printable ASCII without commas (see MakeNonce).
  ScramClient(platform::Digest digest, std::string_view user, std::string password, std::string nonce);
  ~ScramClient();
  ScramClient(const ScramClient&) = delete;
  ScramClient& operator=(const ScramClient&) = delete;

  // "n,,n=<user>,r=<nonce>", with "=" and "," in the user name escaped.
  std::string ClientFirst() const;
  // Checks the server-first message and gives the client-final message with the proof.
  std::optional<std::string> OnServerFirst(std::string_view server_first);
  // True when the server-final message carries the signature only a server knowing the password
  // can make.
  bool OnServerFinal(std::string_view server_final);

  Failure failure() const { return failure_; }

  // A fresh client nonce: 24 random bytes in base64; nothing when no random source works.
  static std::optional<std::string> MakeNonce();

 private:
  // Records the failure and forgets the password; false and nothing, for the two kinds of step.
  bool Fail(Failure failure);
  std::optional<std::string> Refuse(Failure failure);

  platform::Digest digest_;
  std::string client_first_bare_;
  std::string password_;
  std::string nonce_;
  std::string expected_signature_;
  Failure failure_ = Failure::kNone;
};

// The text of a SCRAM failure for the caller's status line.
std::string_view ScramFailureText(ScramClient::Failure failure);

}  // namespace irc
