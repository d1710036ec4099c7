// The nickname rules: handles made valid nicknames, the forms a registration retries, NICKLEN.
#include "irc/protocol/nickname.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace irc {
namespace {

TEST(NickFromHandle, EveryHandleBecomesAValidNickname) {
  struct Case {
    std::string handle;
    std::string nick;
    size_t max_length = kMaxNickLength;
  } cases[] = {
      {"Wolf", "Wolf"},
      {"Wolf Larsen", "Wolf_Larsen"},  // no longer cut to 8
      {"Big Bad Wolf", "Big_Bad_Wolf"},
      {"  Mary  Sue \t", "Mary__Sue"},
      {"Dr. Who", "Dr_Who"},
      {"Bj\xC3\xB6rn", "Bjorn"},  // UTF-8
      {"Bj\x94rn", "Bjorn"},      // code page 437
      {"Stra\xC3\x9F"
       "e",
       "Strase"},                   // ß
      {"\xEF\xBC\xB7olf", "Wolf"},  // a full-width W
      {"Jos\xC3\xA9 \xE2\x80\x9C"
       "Pepe\xE2\x80\x9D",
       "Jose_Pepe"},
      {"Wo\x1B[2Jlf\x07", "Wo[2Jlf"},  // controls out, [ is a nickname character
      {"{Zeus}|[x]^`\\-9", "{Zeus}|[x]^`\\-9"},
      {"2Pac", "Pac"},
      {"2 Fast 4 You", "Fast_4_You"},
      {". Wolf", "Wolf"},
      {"-=Dash=-", "Dash-"},
      {"_under", "_under"},
      {"007", "Guest3"},
      {"", "Guest3"},
      {"   ", "Guest3"},
      {"\xE5\xBC\xA0\xE4\xBC\x9F", "Guest3"},  // no letter has an ASCII form
      {std::string(40, 'a'), std::string(30, 'a')},
      {"Wolf Larsen", "Wolf_Lars", 9},
      {"", "Gues", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.handle);
    const std::string nick = NickFromHandle(c.handle, 3, c.max_length);
    EXPECT_EQ(nick, c.nick);
    EXPECT_TRUE(IsValidNick(nick));
  }
}

TEST(IsValidNick, FollowsRfc2812) {
  for (const char* nick : {"a", "Wolf", "[x]", "`a-1", "^_^", "a|b{c}"})
    EXPECT_TRUE(IsValidNick(nick)) << nick;
  for (const char* nick : {"", "1a", "-a", "a.b", "a b", "a@b", "a!b", "a:b", "a,b", "a*", "\xC3\xA9"})
    EXPECT_FALSE(IsValidNick(nick)) << nick;
}

TEST(UserNameFromNick, KeepsWhatEveryServerTakes) {
  EXPECT_EQ(UserNameFromNick("Wolf_Larsen-2"), "Wolf_Larsen-2");
  EXPECT_EQ(UserNameFromNick("{Zeus}|[x]^`\\"), "Zeusx");
  EXPECT_EQ(UserNameFromNick("[]"), "user");
}

std::vector<std::string> AllForms(const std::string& first, size_t max_length, int node) {
  NickRetry retry;
  retry.Start(first, max_length, node);
  std::vector<std::string> forms{retry.first()};
  while (auto next = retry.Next()) forms.push_back(*next);
  return forms;
}

TEST(NickRetry, ShorterThenNumberedThenGuest) {
  EXPECT_EQ(
      AllForms("Wolf_Larsen", 30, 2),
      (std::vector<std::string>{"Wolf_Larsen", "Wolf_Lar", "Wolf_La1", "Wolf_La2", "Wolf_La3", "Wolf_La4",
                                "Wolf_La5", "Wolf_La6", "Wolf_La7", "Wolf_La8", "Wolf_La9", "Guest2"}));
  // A short nickname is not cut; a limit below 8 cuts every form to it.
  EXPECT_EQ(AllForms("Wolf", 30, 0).at(1), "Wolf1");
  EXPECT_EQ(AllForms("Wolf_Larsen", 5, 7),
            (std::vector<std::string>{"Wolf_", "Wolf1", "Wolf2", "Wolf3", "Wolf4", "Wolf5", "Wolf6", "Wolf7",
                                      "Wolf8", "Wolf9", "Guest"}));
  // A guest is not tried twice; a one-character limit has no numbered forms.
  EXPECT_EQ(AllForms("Guest1", 30, 1).back(), "Guest19");
  EXPECT_EQ(AllForms("Wolf", 1, 1), (std::vector<std::string>{"W", "G"}));
}

TEST(NickRetry, FinishTellsWhetherTheNicknameChanged) {
  NickRetry retry;
  EXPECT_FALSE(retry.registering());
  retry.Start("Wolf", 30, 0);
  EXPECT_TRUE(retry.registering());
  EXPECT_FALSE(retry.Finish("Wolf"));
  EXPECT_FALSE(retry.registering());
  EXPECT_FALSE(retry.Finish("Other"));  // no registration under way
  retry.Start("Wolf", 30, 0);
  retry.Next();
  EXPECT_TRUE(retry.Finish("Wolf1"));
}

}  // namespace
}  // namespace irc
