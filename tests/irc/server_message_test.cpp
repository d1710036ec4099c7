#include "irc/protocol/server_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/protocol/words.h"

namespace irc {
namespace {

// The record reads every field exactly as the word helpers do on the same line, so the shown
// texts stay byte for byte what they were.
TEST(ServerMessageTest, FieldsAgreeWithTheWordHelpers) {
  const std::string_view lines[] = {
      "",
      "a",
      "a  b",
      " a",
      "a ",
      " ",
      "a  ",
      "a : ",
      ":n!u@h PRIVMSG #c :hi  there ",
      ":n!u@h PRIVMSG #c ::x y",
      "PING :abc",
      ":irc.test 353 Wolf = #c :@a +b  c",
      ":n!u@h\tx JOIN ::#a",
      "::x!y!z",
  };
  ServerMessage message;
  for (std::string_view line : lines) {
    SCOPED_TRACE(line);
    message.Parse(line);
    Words words;
    SplitWords(line, words);
    ASSERT_EQ(message.size(), words.size());
    for (size_t i = 0; i <= words.size() + 1; ++i) {
      EXPECT_EQ(message[i], WordAt(words, i)) << i;
      EXPECT_EQ(message.Trail(i), TrailingText(words, i)) << i;
      EXPECT_EQ(message.Joined(i), JoinWords(words, i)) << i;
    }
    EXPECT_EQ(message.Nick(), PrefixNick(WordAt(words, 0)));
    EXPECT_EQ(message.UserHost(), PrefixUserHost(WordAt(words, 0)));
    EXPECT_EQ(message.line(), line);
  }
}

TEST(ServerMessageTest, ParametersAsTheProtocolCountsThem) {
  struct Case {
    std::string_view line;
    std::string_view command;
    std::vector<std::string_view> params;
  };
  const Case cases[] = {
      {":s CAP * LS * :a b=c  d", "CAP", {"*", "LS", "*", "a b=c  d"}},
      {"CAP  *   ACK :", "CAP", {"*", "ACK", ""}},
      {"AUTHENTICATE +", "AUTHENTICATE", {"+"}},
      {":s 005 me CASEMAPPING=ascii NICKLEN=30 :are supported",
       "005",
       {"me", "CASEMAPPING=ascii", "NICKLEN=30", "are supported"}},
      {":n!u@h AWAY", "AWAY", {}},
      {":n!u@h JOIN #c acct :Real Name", "JOIN", {"#c", "acct", "Real Name"}},
      {"", "", {}},
  };
  ServerMessage message;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    message.Parse(c.line);
    EXPECT_EQ(message.command(), c.command);
    const auto params = message.Params();
    EXPECT_EQ(std::vector<std::string_view>(params.begin(), params.end()), c.params);
    EXPECT_EQ(message.Param(c.params.size()), "");
  }
}

TEST(ServerMessageTest, TagsAreCutOffAndReadWithTheirEscapesUndone) {
  ServerMessage message;
  message.Parse("@time=2026-12-10T14:02:11.123Z;+draft/x=a\\sb\\:c\\\\d\\ne\\;flag :n!u@h PRIVMSG #c :hi");
  EXPECT_EQ(message.line(), ":n!u@h PRIVMSG #c :hi");
  EXPECT_EQ(message[1], "PRIVMSG");
  EXPECT_EQ(message.Tag("time"), "2026-12-10T14:02:11.123Z");
  EXPECT_EQ(message.Tag("+draft/x"), "a b;c\\d\ne");  // the backslash before ";" ends it: dropped
  EXPECT_EQ(message.Tag("flag"), "");
  EXPECT_EQ(message.Tag("tim"), std::nullopt);

  // Blanks after the tags are skipped; a line of tags alone has no words.
  message.Parse("@a=1   PING :x");
  EXPECT_EQ(message.line(), "PING :x");
  EXPECT_EQ(message.Tag("a"), "1");
  message.Parse("@a=1");
  EXPECT_EQ(message.size(), 0u);

  // Tags beyond the limit are not looked at, but never reach the line either.
  const std::string big = "@x=" + std::string(ServerMessage::kMaxTagBytes, 'v') + " :s NOTICE me :t";
  message.Parse(big);
  EXPECT_EQ(message.line(), ":s NOTICE me :t");
  EXPECT_EQ(message.Tag("x"), std::nullopt);
  const std::string fits = "@x=" + std::string(ServerMessage::kMaxTagBytes - 5, 'v') + " :s NOTICE me :t";
  message.Parse(fits);
  EXPECT_EQ(message.Tag("x")->size(), ServerMessage::kMaxTagBytes - 5);

  // Only so many tags are looked at.
  std::string many = "@";
  for (size_t i = 0; i < ServerMessage::kMaxTags; ++i) many += "k" + std::to_string(i) + "=v;";
  many += "last=1 PING :x";
  message.Parse(many);
  EXPECT_EQ(message.Tag("k0"), "v");
  EXPECT_EQ(message.Tag("last"), std::nullopt);
}

TEST(ServerMessageTest, DroppingAColonChangesOnlyThatWord) {
  ServerMessage message;
  message.Parse(":n!u@h JOIN ::#a");
  message.DropColon(2);
  EXPECT_EQ(message[2], ":#a");
  message.DropColon(2);
  EXPECT_EQ(message[2], "#a");
  message.DropColon(9);  // past the end: nothing
  EXPECT_EQ(message.line(), ":n!u@h JOIN ::#a");
}

}  // namespace
}  // namespace irc
