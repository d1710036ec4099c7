// /IGNORE and /UNIGNORE: the masks and their matching, and what an ignored sender's traffic does
// (nothing shown, nothing answered) while everybody else's goes on as before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "irc/client/ignore_list.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using Lines = std::vector<std::string>;

TEST(WildcardMatch, StarsQuestionMarksAndIrcCase) {
  const struct {
    const char* mask;
    const char* text;
    bool match;
  } cases[] = {
      {"bob!*@*", "bob!u@host.net", true},
      {"bob!*@*", "bobby!u@host.net", false},
      {"BOB!*@*", "bob!u@host", true},
      {"b?b!*@*", "bib!x@y", true},
      {"b?b!*@*", "bb!x@y", false},
      {"*!*@*.spam.example", "x!y@a.b.spam.example", true},
      {"*!*@*.spam.example", "x!y@spam.example", false},
      {"[x]!*@*", "{X}!u@h", true},  // [ ] are the capitals of { }
      {"*", "", true},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"", "a", false},
  };
  for (const auto& c : cases) EXPECT_EQ(WildcardMatch(c.mask, c.text), c.match) << c.mask << " " << c.text;
  // Many stars against a long text that nearly matches finish at once.
  EXPECT_FALSE(WildcardMatch(std::string(100, '*') + "b", std::string(100'000, 'a')));
}

TEST(IgnoreListMasks, NicknamesUserHostsAndBounds) {
  IgnoreList list;
  EXPECT_EQ(IgnoreList::Normalized("bob"), "bob!*@*");
  EXPECT_EQ(IgnoreList::Normalized("*@spam.example"), "*!*@spam.example");
  EXPECT_EQ(IgnoreList::Normalized("b!u@h"), "b!u@h");
  EXPECT_EQ(list.Add("bob"), IgnoreList::Added::kAdded);
  EXPECT_EQ(list.Add("BOB!*@*"), IgnoreList::Added::kAlready);
  EXPECT_EQ(list.Add(std::string(IgnoreList::kMaxMaskLength + 1, 'x')), IgnoreList::Added::kInvalid);
  EXPECT_TRUE(list.Ignores(":Bob!u@h"));
  EXPECT_TRUE(list.Ignores("bob"));  // a source without user@host
  EXPECT_FALSE(list.Ignores(":irc.server.net"));
  for (size_t i = 1; i < IgnoreList::kMaxMasks; ++i) list.Add("n" + std::to_string(i));
  EXPECT_EQ(list.Add("one-more"), IgnoreList::Added::kFull);
  EXPECT_TRUE(list.Remove("Bob"));
  EXPECT_FALSE(list.Remove("bob"));
  EXPECT_FALSE(list.Ignores(":bob!u@h"));
}

class IgnoreTest : public TrafficTest {
 protected:
  Shown Typed(std::string_view line) {
    f_.CallerText();
    client().ProcessInputLine(line);
    return DecodeShown(f_.CallerText());
  }
};

TEST_F(IgnoreTest, IgnoredSendersAreNeitherShownNorAnswered) {
  EXPECT_EQ(Typed("/IGNORE"), Shown{S("Nobody is ignored")});
  EXPECT_EQ(Typed("/ignore troll"), Shown{S("Ignoring troll!*@*")});
  EXPECT_EQ(Typed("/IGNORE *!*@*.spam.example"), Shown{S("Ignoring *!*@*.spam.example")});
  EXPECT_EQ(Typed("/IGNORE TROLL"), Shown{S("Already ignoring TROLL!*@*")});
  EXPECT_EQ(Typed("/IGNORE"), (Shown{S("Ignoring troll!*@*"), S("Ignoring *!*@*.spam.example")}));
  const char* ignored[] = {
      ":Troll!t@host PRIVMSG #chat :hello",
      ":Troll!t@host PRIVMSG Wolf :psst",
      ":Troll!t@host PRIVMSG #chat :\x01"
      "ACTION waves\x01",
      ":Troll!t@host PRIVMSG Wolf :\x01VERSION\x01",
      ":Troll!t@host NOTICE Wolf :hi",
      ":Troll!t@host INVITE Wolf :#den",
      ":x!y@a.spam.example PRIVMSG Wolf :\x01PING 1\x01",
  };
  for (const char* line : ignored) EXPECT_EQ(Feed(line), Shown{}) << line;
  EXPECT_EQ(Sent(0), Lines{});
  // Everybody else, and the ignored sender's other traffic.
  EXPECT_EQ(Feed(":Al!al@host PRIVMSG Wolf :\x01VERSION\x01").size(), 1u);
  EXPECT_EQ(Sent(2000), Lines{"NOTICE Al :\x01VERSION ZelkIRC v1.32\x01"});
  EXPECT_EQ(Feed(":Troll!t@host JOIN :#chat").size(), 1u);
  EXPECT_EQ(Typed("/UNIGNORE troll"), Shown{S("No longer ignoring troll!*@*")});
  EXPECT_EQ(Typed("/UNIGNORE troll"), Shown{S("Not ignoring troll!*@*")});
  EXPECT_EQ(Typed("/UNIGNORE"), Shown{S("Usage: /UNIGNORE <mask>")});
  EXPECT_EQ(Feed(":Troll!t@host PRIVMSG Wolf :back"),
            Shown{L("\1778[\177DTroll\1778(\1775t@host\1778)] \1777back")});
  EXPECT_EQ(Sent(0), Lines{});  // the commands send nothing to the server
}

}  // namespace
}  // namespace irc::traffic_test
