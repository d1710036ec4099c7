// Crypto with OpenSSL's libcrypto, loaded on the first use as the TLS library is: a door that never
// logs in with SCRAM never maps it.
#include <dlfcn.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <climits>

#include "platform/crypto.h"

namespace platform {
namespace {

#define ZELK_CRYPTO_FUNCTIONS(X) \
  X(EVP_Digest)                  \
  X(EVP_Q_mac)                   \
  X(EVP_sha256)                  \
  X(EVP_sha512)                  \
  X(PKCS5_PBKDF2_HMAC)           \
  X(RAND_bytes)

struct LibCrypto {
#define ZELK_DECLARE(name) decltype(&::name) name = nullptr;
  ZELK_CRYPTO_FUNCTIONS(ZELK_DECLARE)
#undef ZELK_DECLARE
  bool loaded = false;
};

LibCrypto LoadLibCrypto() {
  LibCrypto api;
  void* library = dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) return api;
  bool all = true;
#define ZELK_LOOK_UP(name)                                               \
  api.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name)); \
  all = all && api.name != nullptr;
  ZELK_CRYPTO_FUNCTIONS(ZELK_LOOK_UP)
#undef ZELK_LOOK_UP
  api.loaded = all;
  return api;
}

const LibCrypto& Api() {
  static const LibCrypto api = LoadLibCrypto();
  return api;
}

const EVP_MD* Md(const LibCrypto& api, Digest digest) {
  return digest == Digest::kSha256 ? api.EVP_sha256() : api.EVP_sha512();
}

const char* MdName(Digest digest) {
  return digest == Digest::kSha256 ? "SHA256" : "SHA512";
}

const unsigned char* Bytes(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

size_t DigestSize(Digest digest) {
  return digest == Digest::kSha256 ? 32 : 64;
}

bool CryptoAvailable() {
  return Api().loaded;
}

std::optional<std::string> Hash(Digest digest, std::string_view data) {
  const LibCrypto& api = Api();
  if (!api.loaded) return std::nullopt;
  std::string out(DigestSize(digest), '\0');
  unsigned int size = 0;
  if (api.EVP_Digest(data.data(), data.size(), reinterpret_cast<unsigned char*>(out.data()), &size,
                     Md(api, digest), nullptr) != 1 ||
      size != out.size())
    return std::nullopt;
  return out;
}

std::optional<std::string> Hmac(Digest digest, std::string_view key, std::string_view data) {
  const LibCrypto& api = Api();
  if (!api.loaded) return std::nullopt;
  std::string out(DigestSize(digest), '\0');
  size_t size = 0;
  if (api.EVP_Q_mac(nullptr, "HMAC", nullptr, MdName(digest), nullptr, key.data(), key.size(), Bytes(data),
                    data.size(), reinterpret_cast<unsigned char*>(out.data()), out.size(),
                    &size) == nullptr ||
      size != out.size())
    return std::nullopt;
  return out;
}

std::optional<std::string> Pbkdf2(Digest digest, std::string_view password, std::string_view salt,
                                  int iterations) {
  const LibCrypto& api = Api();
  if (!api.loaded || iterations < 1 || password.size() > INT_MAX || salt.size() > INT_MAX)
    return std::nullopt;
  std::string out(DigestSize(digest), '\0');
  if (api.PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), Bytes(salt),
                            static_cast<int>(salt.size()), iterations, Md(api, digest),
                            static_cast<int>(out.size()), reinterpret_cast<unsigned char*>(out.data())) != 1)
    return std::nullopt;
  return out;
}

std::optional<std::string> RandomBytes(size_t count) {
  const LibCrypto& api = Api();
  if (!api.loaded || count > INT_MAX) return std::nullopt;
  std::string out(count, '\0');
  if (api.RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(count)) != 1)
    return std::nullopt;
  return out;
}

}  // namespace platform
