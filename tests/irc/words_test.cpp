#include "irc/protocol/words.h"

#include <gtest/gtest.h>

#include "text/ascii.h"

namespace irc {
namespace {

TEST(WordsTest, SplitCutsAtSingleBlanksAndJoinGivesTheLineBack) {
  struct Case {
    std::string_view line;
    Words words;
  };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a  b", {"a", "", "b"}},
      {" a", {"", "a"}},
      {"a ", {"a"}},
      {" ", {""}},
      {"a\tb c", {"a\tb", "c"}},
      {":n!u@h PRIVMSG #c :hi  there", {":n!u@h", "PRIVMSG", "#c", ":hi", "", "there"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Words words{"left over"};
    SplitWords(c.line, words);
    EXPECT_EQ(words, c.words);
    // Empty words stand for the extra blanks, so joining restores the line, less a trailing blank.
    std::string_view expected = c.line;
    if (expected.ends_with(' ')) expected.remove_suffix(1);
    EXPECT_EQ(JoinWords(words, 0), expected);
  }
}

TEST(WordsTest, JoinAndTrailingTextFromAnIndex) {
  Words words{":n!u@h", "PRIVMSG", "#c", ":hello", "", "world"};
  EXPECT_EQ(JoinWords(words, 3), ":hello  world");
  EXPECT_EQ(TrailingText(words, 3), "hello  world");
  EXPECT_EQ(JoinWords(words, 5), "world");
  EXPECT_EQ(JoinWords(words, 6), "");
  EXPECT_EQ(JoinWords(words, 600), "");
  EXPECT_EQ(TrailingText(words, 6), "");
  EXPECT_EQ(TrailingText({"a", "::x"}, 1), ":x");
}

struct TextCase {
  std::string_view in;
  std::string_view strip_colon;
  std::string_view nick;
  std::string_view user_host;
};

TEST(WordsTest, ColonAndPrefixHelpers) {
  const TextCase cases[] = {
      {"", "", "", ""},
      {":", "", "", ":"},
      {"::x", ":x", ":x", "::x"},
      {"x:", "x:", "x:", "x:"},
      {":irc.server.net", "irc.server.net", "irc.server.net", ":irc.server.net"},
      {":Wolf!~wolf@host.example", "Wolf!~wolf@host.example", "Wolf", "~wolf@host.example"},
      {"Wolf!a!b", "Wolf!a!b", "Wolf", "a!b"},
      {":!u@h", "!u@h", "", "u@h"},
      {":n!", "n!", "n", ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(StripColon(c.in), c.strip_colon);
    EXPECT_EQ(PrefixNick(c.in), c.nick);
    EXPECT_EQ(PrefixUserHost(c.in), c.user_host);
  }
}

TEST(WordsTest, CaseFoldingIsAsciiOnly) {
  EXPECT_EQ(text::UpperAscii("wolf[]{}\xE4z"), "WOLF[]{}\xE4Z");
  EXPECT_TRUE(text::EqualsIgnoreCase("#Chat", "#cHAT"));
  EXPECT_TRUE(text::EqualsIgnoreCase("", ""));
  EXPECT_FALSE(text::EqualsIgnoreCase("#chat", "#chat2"));
  EXPECT_FALSE(text::EqualsIgnoreCase("[a]", "{A}"));
  EXPECT_FALSE(text::EqualsIgnoreCase("\xE4", "\xC4"));
}

TEST(WordsTest, WordAtPastTheEndIsEmpty) {
  Words words{"a", "b"};
  EXPECT_EQ(WordAt(words, 1), "b");
  EXPECT_EQ(WordAt(words, 2), "");
  EXPECT_EQ(WordAt({}, 0), "");
}

}  // namespace
}  // namespace irc
