// One server line parsed once into a record: its message tags, and its words as views into the
// line, from which every handler reads its fields. The words are cut at single blanks (two blanks
// in a row give an empty word), as the display rules count them; Params() gives the parameters as
// the protocol counts them, for the handlers of capabilities, logins and server features.
//
//   ServerMessage message;
//   message.Parse(line);                  // the views point into line: keep it while they are used
//   message[1] == "PRIVMSG"; message.Nick(); message.Trail(3); message.Tag("time");
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace irc {

class ServerMessage {
 public:
  // Tags longer than this (the limit of the message-tags rules, "@" and the blank included) are
  // ignored; the line is handled without them.
  static constexpr size_t kMaxTagBytes = 8191;
  // More tags than this in one line are not looked at.
  static constexpr size_t kMaxTags = 64;

  // The words of line after its tags. The vectors of the previous line are reused, so a stream of
  // lines is parsed without allocating.
  void Parse(std::string_view line);

  // The line less its tags and the blanks after them: what an unrecognised line shows.
  std::string_view line() const { return line_; }
  // The tag text without its "@", escapes still in it; empty when the line has none (or too many
  // bytes of them).
  std::string_view tags() const { return tags_; }

  size_t size() const { return words_.size(); }
  // Word i, or the empty view when the line is shorter.
  std::string_view operator[](size_t i) const { return i < words_.size() ? words_[i] : std::string_view(); }
  // The words from `from` on joined by single blanks, one leading colon removed (empty past the end).
  std::string_view Trail(size_t from) const;
  // The same without removing a colon.
  std::string_view Joined(size_t from) const;
  // The nickname of the prefix in word 0: up to the first "!", one leading colon removed.
  std::string_view Nick() const;
  // What follows the first "!" of word 0; all of word 0, colon included, when it has none.
  std::string_view UserHost() const;
  // Word i loses one leading colon (a channel or nickname sent as a last parameter).
  void DropColon(size_t i);

  // The command (or reply number) and the parameters after it as the protocol counts them: runs of
  // blanks separate, a parameter opening with a colon takes the rest of the line (colon removed).
  bool has_prefix() const { return !words_.empty() && words_[0].starts_with(':'); }
  std::string_view command() const { return (*this)[has_prefix() ? 1 : 0]; }
  std::span<const std::string_view> Params() const;
  // Parameter i of Params(), or the empty view.
  std::string_view Param(size_t i) const;

  // The value of the tag named key with its escapes undone ("" for a tag without a value), or
  // nothing when the line has no such tag.
  std::optional<std::string> Tag(std::string_view key) const;

 private:
  std::string_view line_;
  std::string_view tags_;
  std::vector<std::string_view> words_;
  mutable std::vector<std::string_view> params_;
  mutable bool params_ready_ = false;
};

// A tag value with its escapes undone: "\:" is ";", "\s" a blank, "\\" a backslash, "\r" and "\n"
// CR and LF; a backslash before anything else is dropped, as is one at the end.
std::string UnescapeTagValue(std::string_view value);

}  // namespace irc
