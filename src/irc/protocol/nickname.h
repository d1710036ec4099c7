// The nickname rules: a BBS handle made into a nickname every IRC server accepts (RFC 2812), the
// forms tried when a server refuses one during registration, and the length a server announces.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "irc/protocol/words.h"

namespace irc {

// The longest nickname sent; servers announce their own limit (NICKLEN) in their 005 reply.
inline constexpr size_t kMaxNickLength = 30;
// The length every server takes (RFC 2812 allows 9): the first shorter form tried after a refusal.
inline constexpr size_t kShortNickLength = 8;

// True for a nickname RFC 2812 allows, of any length: a letter or one of [ \ ] ^ _ ` { | } first,
// then those, digits and '-'.
bool IsValidNick(std::string_view nick);

// The nickname for a handle, whatever its bytes: decoded (UTF-8 where valid, code page 437
// otherwise), folded to ASCII (ö to o), blanks made '_', every character a nickname may not hold
// left out, and what comes before the first letter or special character (digits, '-', blanks)
// too; cut to max_length; "Guest" and the node number when nothing is left.
std::string NickFromHandle(std::string_view handle, int node, size_t max_length = kMaxNickLength);

// The user name of the USER line for a nickname: its letters, digits, '_' and '-', which every
// server takes there (ngircd refuses the other nickname characters in a user name); "user" when
// none is left.
std::string UserNameFromNick(std::string_view nick);

// The nicknames a registration tries in turn when the server refuses one (432 erroneous, 433 in
// use, 437 unavailable): the first one, then the same cut to 8 characters, then cut to 7 with a
// digit 1 to 9 after it, then "Guest" and the node number. Wolf_Larsen, Wolf_Lar, Wolf_La1, ...
class NickRetry {
 public:
  // A registration begins with this nickname (a valid one).
  void Start(std::string first, size_t max_length, int node);
  // A registration is under way: refusals are answered with the next form.
  bool registering() const { return registering_; }
  // The next form to send, or nullopt when every form has been refused.
  std::optional<std::string> Next();
  // The registration has ended. True when the server took another nickname than the first one.
  bool Finish(std::string_view registered);
  const std::string& first() const { return first_; }

 private:
  std::string first_;
  std::string last_;
  size_t max_length_ = kMaxNickLength;
  int node_ = 0;
  int step_ = 0;
  bool registering_ = false;
};

}  // namespace irc
