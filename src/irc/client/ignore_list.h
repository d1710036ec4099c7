// The senders the caller does not want to hear from in this visit: masks nick!user@host with the
// wildcards * (any run of characters) and ? (any one). A mask without ! is a nickname (bob is
// bob!*@*) or, with an @, a user@host of any nickname. Bounded in count and length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace irc {

// Whether text matches a mask with * and ?, ignoring case as IRC does ([]\~ are the capitals of
// {}|^). Linear in text and mask for each star.
bool WildcardMatch(std::string_view mask, std::string_view text);

class IgnoreList {
 public:
  static constexpr size_t kMaxMasks = 50;
  static constexpr size_t kMaxMaskLength = 200;

  enum class Added { kAdded, kAlready, kFull, kInvalid };
  // The mask as it is kept (a nickname gets !*@*).
  static std::string Normalized(std::string_view mask);
  Added Add(std::string_view mask);
  bool Remove(std::string_view mask);
  // prefix: the server line's source, nick!user@host (a leading colon allowed).
  bool Ignores(std::string_view prefix) const;
  const std::vector<std::string>& masks() const { return masks_; }

 private:
  std::vector<std::string> masks_;
};

}  // namespace irc
