// The client side of SCRAM-SHA-256 and SCRAM-SHA-512.
#include "irc/protocol/scram.h"

#include <algorithm>
#include <charconv>

#include "irc/protocol/base64.h"

namespace irc {
namespace {

// The GS2 header "n,," (no channel binding, no authorisation identity) in base64.
constexpr std::string_view kChannelBinding = "biws";

void Wipe(std::string& secret) {
  std::fill(secret.begin(), secret.end(), '\0');
  secret.clear();
}

// A string that wipes itself: keys derived from the password.
struct Secret {
  std::string bytes;
  ~Secret() { Wipe(bytes); }
};

// "=" and "," are the only characters a SCRAM user name escapes.
std::string EscapeName(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '=') {
      out += "=3D";
    } else if (c == ',') {
      out += "=2C";
    } else {
      out += c;
    }
  }
  return out;
}

// The value of attribute `key` ("r" in "r=abc") in a comma list; nothing when it is missing.
std::optional<std::string_view> Attribute(std::string_view message, char key) {
  while (!message.empty()) {
    const size_t comma = message.find(',');
    const std::string_view item = message.substr(0, comma);
    if (item.size() >= 2 && item[0] == key && item[1] == '=') return item.substr(2);
    if (comma == std::string_view::npos) break;
    message.remove_prefix(comma + 1);
  }
  return std::nullopt;
}

// Compares every byte whatever the first difference, so the time taken tells nothing.
bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
  return difference == 0;
}

}  // namespace

ScramClient::ScramClient(platform::Digest digest, std::string_view user, std::string password,
                         std::string nonce)
    : digest_(digest),
      client_first_bare_("n=" + EscapeName(user) + ",r=" + nonce),
      password_(std::move(password)),
      nonce_(std::move(nonce)) {}

ScramClient::~ScramClient() {
  Wipe(password_);
  Wipe(expected_signature_);
}

std::string ScramClient::ClientFirst() const {
  return "n,," + client_first_bare_;
}

bool ScramClient::Fail(Failure failure) {
  failure_ = failure;
  Wipe(password_);
  return false;
}

std::optional<std::string> ScramClient::Refuse(Failure failure) {
  Fail(failure);
  return std::nullopt;
}

std::optional<std::string> ScramClient::OnServerFirst(std::string_view server_first) {
  // Only one server-first message belongs to an exchange.
  if (failure_ != Failure::kNone || !expected_signature_.empty()) return Refuse(Failure::kMalformed);
  if (Attribute(server_first, 'e')) return Refuse(Failure::kRefused);
  // An extension the server makes mandatory ("m=") is one this client cannot know.
  if (server_first.starts_with("m=")) return Refuse(Failure::kMalformed);
  const std::optional<std::string_view> nonce = Attribute(server_first, 'r');
  const std::optional<std::string_view> salt_text = Attribute(server_first, 's');
  const std::optional<std::string_view> iterations_text = Attribute(server_first, 'i');
  if (!nonce || !salt_text || !iterations_text) return Refuse(Failure::kMalformed);
  if (!nonce->starts_with(nonce_) || nonce->size() == nonce_.size()) return Refuse(Failure::kNonce);
  const std::optional<std::string> salt = Base64Decode(*salt_text);
  if (!salt || salt->empty()) return Refuse(Failure::kMalformed);
  int iterations = 0;
  const auto [end, error] =
      std::from_chars(iterations_text->data(), iterations_text->data() + iterations_text->size(), iterations);
  if (error != std::errc() || end != iterations_text->data() + iterations_text->size())
    return Refuse(Failure::kMalformed);
  if (iterations < kMinIterations || iterations > kMaxIterations) return Refuse(Failure::kIterations);

  const std::string without_proof = "c=" + std::string(kChannelBinding) + ",r=" + std::string(*nonce);
  const std::string auth_message = client_first_bare_ + "," + std::string(server_first) + "," + without_proof;
  Secret salted{platform::Pbkdf2(digest_, password_, *salt, iterations).value_or("")};
  Wipe(password_);
  Secret client_key{salted.bytes.empty() ? ""
                                         : platform::Hmac(digest_, salted.bytes, "Client Key").value_or("")};
  Secret server_key{salted.bytes.empty() ? ""
                                         : platform::Hmac(digest_, salted.bytes, "Server Key").value_or("")};
  Secret stored_key{client_key.bytes.empty() ? "" : platform::Hash(digest_, client_key.bytes).value_or("")};
  Secret client_signature{
      stored_key.bytes.empty() ? "" : platform::Hmac(digest_, stored_key.bytes, auth_message).value_or("")};
  Secret server_signature{
      server_key.bytes.empty() ? "" : platform::Hmac(digest_, server_key.bytes, auth_message).value_or("")};
  const size_t size = platform::DigestSize(digest_);
  if (client_key.bytes.size() != size || client_signature.bytes.size() != size ||
      server_signature.bytes.size() != size)
    return Refuse(Failure::kCrypto);
  Secret proof{client_key.bytes};
  for (size_t i = 0; i < size; ++i) proof.bytes[i] ^= client_signature.bytes[i];
  expected_signature_ = server_signature.bytes;
  return without_proof + ",p=" + Base64Encode(proof.bytes);
}

bool ScramClient::OnServerFinal(std::string_view server_final) {
  if (failure_ != Failure::kNone) return false;
  if (expected_signature_.empty()) return Fail(Failure::kMalformed);
  if (Attribute(server_final, 'e')) return Fail(Failure::kRefused);
  const std::optional<std::string_view> verifier = Attribute(server_final, 'v');
  if (!verifier) return Fail(Failure::kMalformed);
  const std::optional<std::string> signature = Base64Decode(*verifier);
  const bool proven = signature && SameBytes(*signature, expected_signature_);
  Wipe(expected_signature_);
  return proven || Fail(Failure::kSignature);
}

std::optional<std::string> ScramClient::MakeNonce() {
  const std::optional<std::string> random = platform::RandomBytes(24);
  if (!random) return std::nullopt;
  return Base64Encode(*random);
}

std::string_view ScramFailureText(ScramClient::Failure failure) {
  switch (failure) {
    case ScramClient::Failure::kSignature:
      return "The server could not prove that it knows the password; SASL login aborted";
    case ScramClient::Failure::kRefused:
      return "The server refused the SCRAM login";
    case ScramClient::Failure::kIterations:
      return "The server asked for an unreasonable SCRAM iteration count; SASL login aborted";
    case ScramClient::Failure::kCrypto:
      return "SCRAM is not available on this system; SASL login aborted";
    case ScramClient::Failure::kNonce:
    case ScramClient::Failure::kMalformed:
    case ScramClient::Failure::kNone:
      break;
  }
  return "The server sent a malformed SCRAM message; SASL login aborted";
}

}  // namespace irc
