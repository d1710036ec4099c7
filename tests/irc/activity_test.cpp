// Activity: unseen lines of the other targets after the prompt, cleared when the caller goes
// there; a channel line naming the caller highlighted, with the bell at most once a minute.
#include "irc/client/activity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

TEST(MentionsNick, OnlyAsAWordOfItsOwn) {
  const struct {
    const char* text;
    bool mentioned;
  } cases[] = {
      {"Wolf: hi", true},  {"hi wolf", true},   {"(WOLF)", true}, {"Wolfgang is here", false},
      {"the_Wolf", false}, {"Wolf-ish", false}, {"", false},      {"w o l f", false},
  };
  for (const auto& c : cases) EXPECT_EQ(MentionsNick(c.text, "Wolf"), c.mentioned) << c.text;
}

// The search skips whole words after a miss: a mention right after a run of the first letter, or
// after a '~' (the capital of '^' in rfc1459, but no nickname character), is still found.
TEST(MentionsNick, FoundAfterARunOrAnotherCaseOfTheFirstLetter) {
  const struct {
    const char* text;
    const char* nick;
    bool mentioned;
  } cases[] = {
      {"wwwwolf wolf", "Wolf", true}, {"wwwwolf", "Wolf", false},  {"~^wolf hi", "^Wolf", true},
      {"x^wolf hi", "^Wolf", false},  {"~~~^WOLF", "^Wolf", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MentionsNick(c.text, c.nick), c.mentioned) << c.text;
}

TEST(ActivityList, CountsCutsAndBounds) {
  Activity activity;
  activity.Add("#a");
  activity.Add("#b");
  activity.Add("#A");
  EXPECT_EQ(activity.PromptText(80), " +#a:2 +#b:1");
  EXPECT_EQ(activity.PromptText(11), " +#a:2");  // whole entries only
  EXPECT_TRUE(activity.Seen("#a"));
  EXPECT_FALSE(activity.Seen("#a"));
  for (int i = 0; i < 2000; ++i) activity.Add("#b");
  for (size_t i = 0; i < Activity::kMaxEntries; ++i) activity.Add("#n" + std::to_string(i));
  EXPECT_EQ(activity.PromptText(21), " +#n0:1 +#n1:1 +#n2:1");  // #b, the oldest, went first
  activity.Clear();
  EXPECT_EQ(activity.PromptText(80), "");
}

class ActivityTest : public TrafficTest {
 protected:
  void SetUp() override {
    TrafficTest::SetUp();
    Feed(":Wolf!w@h JOIN :#chat");
    Feed(":Wolf!w@h JOIN :#help");  // the active target
  }
  std::string Prompt() {
    f_.CallerText();
    client().RedrawInputLine();
    f_.CallerText();
    return f_.door_fixture.CursorRowText();
  }
};

TEST_F(ActivityTest, OtherTargetsLinesAreCountedUntilTheCallerGoesThere) {
  EXPECT_EQ(Prompt(), "[#help]");
  Feed(":al!a@h PRIVMSG #help :seen here");
  Feed(":al!a@h PRIVMSG #chat :one");
  Feed(
      ":al!a@h PRIVMSG #chat :\x01"
      "ACTION two\x01");
  Feed(":al!a@h NOTICE #chat :three");
  Feed(":al!a@h PRIVMSG #chat :\x01VERSION\x01");  // a request is no line of the talk
  Feed(":irc.test NOTICE #chat :server notice");
  Feed(":bob!b@h PRIVMSG Wolf :psst");
  EXPECT_EQ(Prompt(), "[#help] +#chat:3 +bob:1");
  // Typing starts after the list, and the row's room is what the list leaves.
  client().HandleKey('x');
  EXPECT_EQ(f_.door_fixture.CursorRowText(), "[#help] +#chat:3 +bob:1 x");
  client().HandleKey('\x18');  // Ctrl-X to #chat
  EXPECT_EQ(f_.door_fixture.CursorRowText(), "[#chat] +bob:1 x");
  client().HandleKey('\b');
  client().ProcessInputLine("/MSG bob hi");
  EXPECT_EQ(Prompt(), "[#chat]");
}

TEST_F(ActivityTest, TheListTakesAtMostHalfTheRoom) {
  for (int i = 0; i < 12; ++i) Feed(":al!a@h PRIVMSG #channel" + std::to_string(i) + " :x");
  const std::string prompt = Prompt();
  EXPECT_EQ(prompt, "[#help] +#channel0:1 +#channel1:1");
  std::string typed(60, 'y');
  for (const char c : typed) client().HandleKey(c);
  // 79 - 10 columns, the list 24 of them: 45 for typing, showing the end of the line.
  EXPECT_EQ(f_.door_fixture.CursorRowText(), prompt + " " + typed.substr(15));
}

TEST_F(ActivityTest, AMentionIsHighlightedAndRingsAtMostOncePerMinute) {
  EXPECT_EQ(Feed(":al!a@h PRIVMSG #chat :hey wolf, look"),
            Shown{"?:\a\1777\177E<\177Fal\1778:\1777#chat\177E> \177Fhey wolf, look"});
  EXPECT_EQ(Feed(":al!a@h PRIVMSG #chat :wolf again"),
            Shown{L("\177E<\177Fal\1778:\1777#chat\177E> \177Fwolf again")});
  EXPECT_EQ(Feed(":al!a@h PRIVMSG #chat :wolfgang"),
            Shown{L("\1779<\1777al\1778:\1777#chat\1779> \1777wolfgang")});
  // An action naming the caller: its text in white.
  EXPECT_EQ(Feed(":al!a@h PRIVMSG #chat :\x01"
                 "ACTION hugs Wolf\x01"),
            Shown{L("\1778\xF0 \177Eal\1778:\177E#chat \177Fhugs Wolf")});
  clock().Advance(60'000);
  EXPECT_EQ(Feed(":al!a@h PRIVMSG #chat :WOLF!")[0].substr(0, 3), "?:\a");
}

}  // namespace
}  // namespace irc::traffic_test
