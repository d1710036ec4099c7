// Channel members as the server reports them, and Tab completing nicknames from them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/channel_members.h"
#include "irc/client/client.h"
#include "irc/protocol/isupport.h"
#include "irc/protocol/server_message.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using Nicks = std::vector<std::string>;

TEST(ChannelMembers, FollowNamesJoinPartKickQuitAndNick) {
  ChannelMembers members;
  ServerMessage message;
  ServerSupport support;
  message.Parse(":irc 005 Wolf PREFIX=(qaohv)~&@%+ :are supported");
  support.Read(message);
  std::string line_kept;
  const auto feed = [&](std::string_view line) {
    line_kept = line;
    message.Parse(line_kept);
    members.OnServerLine(message, "Wolf", support);
  };
  feed(":irc 353 Wolf = #a :@Op +voice plain");  // not in #a yet: not kept
  EXPECT_EQ(members.Of("#a"), Nicks{});
  const struct {
    const char* line;
    Nicks a;
    Nicks b;
  } steps[] = {
      {":Wolf!w@h JOIN :#a", {"Wolf"}, {}},
      {":irc 353 Wolf = #A :@Op +voice ~&@%+many bob!b@host Wolf",
       {"bob", "many", "Op", "voice", "Wolf"},
       {}},
      {":Wolf!w@h JOIN #b", {"bob", "many", "Op", "voice", "Wolf"}, {"Wolf"}},
      {":bob!b@h JOIN :#b", {"bob", "many", "Op", "voice", "Wolf"}, {"bob", "Wolf"}},
      {":Al!a@h JOIN :#c", {"bob", "many", "Op", "voice", "Wolf"}, {"bob", "Wolf"}},
      {":BOB!b@h NICK :Robert", {"many", "Op", "Robert", "voice", "Wolf"}, {"Robert", "Wolf"}},
      {":many!m@h PART #a :bye", {"Op", "Robert", "voice", "Wolf"}, {"Robert", "Wolf"}},
      {":Op!o@h KICK #a voice :out", {"Op", "Robert", "Wolf"}, {"Robert", "Wolf"}},
      {":Robert!b@h QUIT :gone", {"Op", "Wolf"}, {"Wolf"}},
      {":Op!o@h KICK #b Wolf :out", {"Op", "Wolf"}, {}},
      {":Wolf!w@h PART :#a", {}, {}},
  };
  for (const auto& step : steps) {
    feed(step.line);
    EXPECT_EQ(members.Of("#a"), step.a) << step.line;
    EXPECT_EQ(members.Of("#b"), step.b) << step.line;
  }
  EXPECT_EQ(members.total(), 0u);
}

TEST(ChannelMembers, BoundedPerChannelAndInAll) {
  ChannelMembers members;
  ServerMessage message;
  const ServerSupport support;
  std::string line;
  const auto feed = [&](std::string text) {
    line = std::move(text);
    message.Parse(line);
    members.OnServerLine(message, "Wolf", support);
  };
  for (int channel = 0; channel < 10; ++channel) {
    const std::string name = "#c" + std::to_string(channel);
    feed(":Wolf!w@h JOIN " + name);
    std::string names = ":irc 353 Wolf = " + name + " :";
    for (int i = 0; i < 1500; ++i) names += "n" + std::to_string(i) + " ";
    feed(names);
  }
  EXPECT_EQ(members.Of("#c0").size(), ChannelMembers::kMaxPerChannel);
  EXPECT_EQ(members.total(), ChannelMembers::kMaxTotal);
  feed(":irc 353 Wolf = #c0 :" + std::string(ChannelMembers::kMaxNickLength + 1, 'x'));
  EXPECT_EQ(members.total(), ChannelMembers::kMaxTotal);
}

class NickCompletionTest : public TrafficTest {
 protected:
  void SetUp() override {
    TrafficTest::SetUp();
    Feed(":Wolf!w@h JOIN :#chat");
    Feed(":irc 353 Wolf = #chat :@bob +Bobby bert Wolf al");
    f_.CallerText();
  }
  void Keys(std::string_view keys) {
    for (const char key : keys) client().HandleKey(key);
  }
};

TEST_F(NickCompletionTest, TabCompletesAndCyclesThroughTheActiveChannelsMembers) {
  const struct {
    const char* keys;
    const char* line;
  } steps[] = {
      {"b\t", "bert: "},
      {"\t", "bob: "},
      {"\t", "Bobby: "},
      {"\t", "bert: "},
      {"hi bo\t", "bert: hi bob "},
      {"\t", "bert: hi Bobby "},
      {"x\t", "bert: hi Bobby x"},
      {"\x15w\t", "w"},  // the own nickname is not offered
      {"\x15\t", ""},    // nothing before the cursor
  };
  for (const auto& step : steps) {
    Keys(step.keys);
    EXPECT_EQ(client().input_line, step.line) << step.keys;
  }
  // In the middle of the line: the word before the cursor, the rest kept after it.
  Keys("\x15say A to you");
  client().door().keys.last_key_extended = true;
  for (int i = 0; i < 7; ++i) client().HandleKey(75);  // Left, as the sysop's keyboard gives it
  client().door().keys.last_key_extended = false;
  Keys("\t");
  EXPECT_EQ(client().input_line, "say al  to you");
  // Another target: its own members, none for the Status window.
  client().targets.Activate(0);
  Keys(
      "\x05\x15"
      "b\t");
  EXPECT_EQ(client().input_line, "b");
}

}  // namespace
}  // namespace irc::traffic_test
