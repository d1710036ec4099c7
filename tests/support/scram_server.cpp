#include "support/scram_server.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <utility>

namespace testsupport {
namespace {

const EVP_MD* Md(const std::string& digest) {
  return digest == "SHA512" ? EVP_sha512() : EVP_sha256();
}

std::string Xor(std::string a, std::string_view b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) a[i] = static_cast<char>(a[i] ^ b[i]);
  return a;
}

}  // namespace

ScramServer::ScramServer(std::string digest, std::string password, std::string salt_base64, int iterations)
    : digest_(std::move(digest)),
      password_(std::move(password)),
      salt_base64_(std::move(salt_base64)),
      iterations_(iterations) {}

std::string ScramServer::Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n =
      EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                      reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::optional<std::string> ScramServer::Unbase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out(text.size() / 4 * 3 + 1, '\0');
  const int n =
      EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                      reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return std::nullopt;
  size_t size = static_cast<size_t>(n);
  // EVP_DecodeBlock counts the padding as bytes.
  for (size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) --size;
  out.resize(size);
  return out;
}

std::string ScramServer::Hmac(std::string_view key, std::string_view data) const {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  HMAC(Md(digest_), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(data.data()), data.size(), out, &size);
  return std::string(reinterpret_cast<char*>(out), size);
}

std::string ScramServer::Hash(std::string_view data) const {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(data.data(), data.size(), out, &size, Md(digest_), nullptr);
  return std::string(reinterpret_cast<char*>(out), size);
}

std::optional<std::string> ScramServer::ServerFirst(std::string_view client_first) {
  if (!client_first.starts_with("n,,n=")) return std::nullopt;
  client_first_bare_ = std::string(client_first.substr(3));
  const size_t nonce_at = client_first_bare_.find(",r=");
  if (nonce_at == std::string::npos) return std::nullopt;
  user_ = client_first_bare_.substr(2, nonce_at - 2);
  nonce_ = client_first_bare_.substr(nonce_at + 3) + "3rfcNHYJY1ZVvWVs7j";
  server_first_ = "r=" + nonce_ + ",s=" + salt_base64_ + ",i=" + std::to_string(iterations_);
  return server_first_;
}

std::optional<std::string> ScramServer::ServerFinal(std::string_view client_final) {
  const size_t proof_at = client_final.find(",p=");
  if (proof_at == std::string::npos) return std::nullopt;
  const std::string without_proof(client_final.substr(0, proof_at));
  if (without_proof != "c=biws,r=" + nonce_) return std::nullopt;
  const std::optional<std::string> proof = Unbase64(client_final.substr(proof_at + 3));
  const std::optional<std::string> salt = Unbase64(salt_base64_);
  if (!proof || !salt) return std::nullopt;

  std::string salted(static_cast<size_t>(EVP_MD_get_size(Md(digest_))), '\0');
  PKCS5_PBKDF2_HMAC(password_.data(), static_cast<int>(password_.size()),
                    reinterpret_cast<const unsigned char*>(salt->data()), static_cast<int>(salt->size()),
                    iterations_, Md(digest_), static_cast<int>(salted.size()),
                    reinterpret_cast<unsigned char*>(salted.data()));
  const std::string auth_message = client_first_bare_ + "," + server_first_ + "," + without_proof;
  const std::string client_key = Hmac(salted, "Client Key");
  const std::string client_signature = Hmac(Hash(client_key), auth_message);
  if (Xor(client_key, client_signature) != *proof) return std::nullopt;
  return "v=" + Base64(Hmac(Hmac(salted, "Server Key"), auth_message));
}

}  // namespace testsupport
