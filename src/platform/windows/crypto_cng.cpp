// Crypto with Windows' CNG (bcrypt.dll, part of every Windows since Vista).
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <climits>

#include "platform/crypto.h"

namespace platform {
namespace {

bool Ok(NTSTATUS status) {
  return status >= 0;
}

PUCHAR Bytes(std::string_view text) {
  return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

LPCWSTR AlgorithmName(Digest digest) {
  return digest == Digest::kSha256 ? BCRYPT_SHA256_ALGORITHM : BCRYPT_SHA512_ALGORITHM;
}

// An algorithm provider open for the length of one call.
class Provider {
 public:
  Provider(Digest digest, bool keyed) {
    if (!Ok(BCryptOpenAlgorithmProvider(&handle_, AlgorithmName(digest), nullptr,
                                        keyed ? BCRYPT_ALG_HANDLE_HMAC_FLAG : 0)))
      handle_ = nullptr;
  }
  ~Provider() {
    if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

std::optional<std::string> Digested(Digest digest, std::string_view key, std::string_view data, bool keyed) {
  if (key.size() > ULONG_MAX || data.size() > ULONG_MAX) return std::nullopt;
  const Provider provider(digest, keyed);
  if (provider.get() == nullptr) return std::nullopt;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!Ok(BCryptCreateHash(provider.get(), &hash, nullptr, 0, keyed ? Bytes(key) : nullptr,
                           keyed ? static_cast<ULONG>(key.size()) : 0, 0)))
    return std::nullopt;
  std::string out(DigestSize(digest), '\0');
  const bool done =
      Ok(BCryptHashData(hash, Bytes(data), static_cast<ULONG>(data.size()), 0)) &&
      Ok(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(out.data()), static_cast<ULONG>(out.size()), 0));
  BCryptDestroyHash(hash);
  if (!done) return std::nullopt;
  return out;
}

}  // namespace

size_t DigestSize(Digest digest) {
  return digest == Digest::kSha256 ? 32 : 64;
}

bool CryptoAvailable() {
  return true;
}

std::optional<std::string> Hash(Digest digest, std::string_view data) {
  return Digested(digest, {}, data, false);
}

std::optional<std::string> Hmac(Digest digest, std::string_view key, std::string_view data) {
  return Digested(digest, key, data, true);
}

std::optional<std::string> Pbkdf2(Digest digest, std::string_view password, std::string_view salt,
                                  int iterations) {
  if (iterations < 1 || password.size() > ULONG_MAX || salt.size() > ULONG_MAX) return std::nullopt;
  const Provider provider(digest, true);
  if (provider.get() == nullptr) return std::nullopt;
  std::string out(DigestSize(digest), '\0');
  if (!Ok(BCryptDeriveKeyPBKDF2(provider.get(), Bytes(password), static_cast<ULONG>(password.size()),
                                Bytes(salt), static_cast<ULONG>(salt.size()),
                                static_cast<ULONGLONG>(iterations), reinterpret_cast<PUCHAR>(out.data()),
                                static_cast<ULONG>(out.size()), 0)))
    return std::nullopt;
  return out;
}

std::optional<std::string> RandomBytes(size_t count) {
  if (count > ULONG_MAX) return std::nullopt;
  std::string out(count, '\0');
  if (!Ok(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(out.data()), static_cast<ULONG>(count),
                          BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
    return std::nullopt;
  return out;
}

}  // namespace platform
