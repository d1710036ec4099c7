// The hashes, keyed hashes, password stretching and random bytes that SASL SCRAM logins need. This
// interface is all the rest of the program sees of the crypto library; each platform supplies it
// (OpenSSL's libcrypto on Linux, loaded on first use; Windows' CNG).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class Digest { kSha256, kSha512 };

// Bytes of a digest: 32 or 64.
size_t DigestSize(Digest digest);

// Every function below gives nothing when the library is missing or fails; callers then leave the
// mechanism that needs it alone.
bool CryptoAvailable();
std::optional<std::string> Hash(Digest digest, std::string_view data);
std::optional<std::string> Hmac(Digest digest, std::string_view key, std::string_view data);
// PBKDF2 with HMAC of the digest, DigestSize(digest) bytes of output.
std::optional<std::string> Pbkdf2(Digest digest, std::string_view password, std::string_view salt,
                                  int iterations);
// Bytes from the system's secure random source.
std::optional<std::string> RandomBytes(size_t count);

}  // namespace platform
