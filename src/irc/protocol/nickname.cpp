// A BBS handle made into a nickname, the retried forms, and the server's nickname length.
#include "irc/protocol/nickname.h"

#include <algorithm>

#include "text/ascii.h"
#include "text/names.h"

namespace irc {
namespace {

constexpr int kNumberedForms = 9;

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// [ \ ] ^ _ ` { | }
bool IsSpecial(char c) {
  return (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7D);
}

bool IsNickChar(char c) {
  return IsLetter(c) || IsSpecial(c) || (c >= '0' && c <= '9') || c == '-';
}

std::string Cut(std::string_view nick, size_t length) {
  return std::string(nick.substr(0, std::min(nick.size(), length)));
}

std::string GuestNick(int node, size_t max_length) {
  return Cut("Guest" + std::to_string(node < 0 ? 0 : node), std::max<size_t>(max_length, 1));
}

}  // namespace

bool IsValidNick(std::string_view nick) {
  if (nick.empty() || !(IsLetter(nick.front()) || IsSpecial(nick.front()))) return false;
  return std::all_of(nick.begin(), nick.end(), IsNickChar);
}

std::string NickFromHandle(std::string_view handle, int node, size_t max_length) {
  const std::string folded = text::FoldToAscii(text::NameAsUtf8(handle));
  std::string nick;
  for (char c : text::TrimBlanks(folded)) {
    const bool blank = c == ' ' || c == '\t';
    // What opens the nickname is a letter or a special character the handle had there: blanks
    // left before it by characters dropped (a digit, a full stop) are dropped with them.
    if (nick.empty() && (blank || !(IsLetter(c) || IsSpecial(c)))) continue;
    if (blank) c = '_';
    if (!IsNickChar(c)) continue;
    nick.push_back(c);
    if (nick.size() >= max_length) break;
  }
  return nick.empty() ? GuestNick(node, max_length) : nick;
}

std::string UserNameFromNick(std::string_view nick) {
  std::string user;
  for (const char c : nick) {
    if (IsLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '-') user.push_back(c);
  }
  return user.empty() ? "user" : user;
}

void NickRetry::Start(std::string first, size_t max_length, int node) {
  max_length_ = std::max<size_t>(max_length, 1);
  first_ = Cut(first, max_length_);
  last_ = first_;
  node_ = node;
  step_ = 0;
  registering_ = true;
}

std::optional<std::string> NickRetry::Next() {
  const size_t short_length = std::min(kShortNickLength, max_length_);
  while (step_ <= kNumberedForms + 1) {
    const int step = ++step_;
    std::string form;
    if (step == 1) {
      form = Cut(first_, short_length);
    } else if (step <= kNumberedForms + 1) {
      form = Cut(first_, short_length > 1 ? short_length - 1 : 0) + std::to_string(step - 1);
      if (!IsValidNick(form)) continue;  // a one-character limit leaves only the digit
    } else {
      form = GuestNick(node_, max_length_);
    }
    if (form == last_ || form == first_) continue;
    last_ = form;
    return form;
  }
  return std::nullopt;
}

bool NickRetry::Finish(std::string_view registered) {
  const bool changed = registering_ && registered != first_;
  registering_ = false;
  return changed;
}

}  // namespace irc
