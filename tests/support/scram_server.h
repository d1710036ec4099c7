// The server's side of a SCRAM exchange (RFC 5802, RFC 7677), made straight from OpenSSL's
// PBKDF2, HMAC and digests and nothing of the door's, so that a test checks the door's client
// against an implementation of its own: it reads the client's first message, answers with the
// salt and rounds, checks the client's proof and signs the exchange.
//
//   ScramServer server("SHA512", "sesame123", "QSXCR+Q6sek8bf92", 4096);
//   std::optional<std::string> first = server.ServerFirst(client_first);   // "r=...,s=...,i=4096"
//   std::optional<std::string> last = server.ServerFinal(client_final);    // "v=...", or nothing
//
// Messages are the decoded text; Base64 and Unbase64 carry them over AUTHENTICATE.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace testsupport {

class ScramServer {
 public:
  // digest: "SHA256" or "SHA512"; salt in base64.
  ScramServer(std::string digest, std::string password, std::string salt_base64, int iterations);

  // Takes "n,,n=alice,r=<client nonce>"; nothing when it is not a client's first message.
  std::optional<std::string> ServerFirst(std::string_view client_first);
  // Takes "c=biws,r=<nonce>,p=<proof>"; "v=<signature>" when the proof is right, nothing else.
  std::optional<std::string> ServerFinal(std::string_view client_final);
  // The user name of the client's first message.
  const std::string& user() const { return user_; }

  static std::string Base64(std::string_view bytes);
  static std::optional<std::string> Unbase64(std::string_view text);

 private:
  std::string Hmac(std::string_view key, std::string_view data) const;
  std::string Hash(std::string_view data) const;

  std::string digest_;
  std::string password_;
  std::string salt_base64_;
  int iterations_;
  std::string user_;
  std::string client_first_bare_;
  std::string server_first_;
  std::string nonce_;
};

}  // namespace testsupport
