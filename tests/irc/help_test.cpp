#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "door/door.h"
#include "irc/client/client.h"
#include "irc/protocol/words.h"
#include "support/door_fixture.h"
#include "support/temp_ini.h"

namespace irc {
namespace {

using Lines = std::vector<std::string>;

constexpr std::string_view kCommandList =
    "ADMIN AWAY CLEAR CONNECT CTCP IGNORE INFO INVITE ISON JOIN KICK KILL LINKS LIST ME MODE MOTD MSG NAMES "
    "NICK "
    "NOTICE "
    "OPER PART QUIT REHASH RESTART SERVER SERVERLIST SQUIT STATS TIME TOPIC TRACE UNIGNORE USERHOST USERS "
    "VERSION "
    "WALLOPS "
    "WHO WHOIS WHOWAS";

// What the caller receives for these status lines.
std::string StatusLines(const Lines& texts) {
  std::string out;
  for (const std::string& text : texts) {
    out += door::ConvertColourCodes(
        "\x7F"
        "7" +
        std::string(kStatusMarker) + text + "\r\n");
  }
  return out;
}

class HelpTest : public ::testing::Test {
 protected:
  // Runs the typed line; returns the caller's screen bytes it produced.
  std::string Type(std::string_view line) {
    fixture_.CallerReceived();
    client_.ProcessInputLine(line);
    return fixture_.CallerReceived();
  }
  std::string Help(const Words& words) {
    fixture_.CallerReceived();
    client_.ShowHelp(words);
    return fixture_.CallerReceived();
  }

  testsupport::DoorFixture fixture_;
  testsupport::TempIni ini_{""};
  Client client_{*fixture_.door, ini_.path()};
};

TEST_F(HelpTest, TypedHelpLines) {
  const Lines summary = {"Here are the commands ZelkIRC supports:", std::string(kCommandList),
                         "Type /HELP <command> for extended help"};
  const Lines kick = {"Usage: /KICK <channel> <nickname> [reason]", "Kick a user from a channel"};
  const struct {
    const char* typed;
    Lines shown;
  } cases[] = {
      {"/help", summary},
      {"/HELP", summary},
      {" /Help ", summary},
      {"/help kick", kick},
      {"/help Kick", kick},
      {"/help KICK extra words", kick},
      // An unknown topic is named as typed, like the server's answer to an unknown command.
      {"/help /kick", {"Unknown Command: /kick"}},
      {"/help help", {"Unknown Command: help"}},
      {"/help Exit", {"Unknown Command: Exit"}},
      {"/help clearscreen", {"Unknown Command: clearscreen"}},
      {"/help  kick", {"Unknown Command"}},
      {"/help away",
       {"Usage: /AWAY [reason]", "Sets an away message.  If [reason] is left off the message is deleted"}},
      {"/help who",
       {"Usage: /WHO [mask] [o]",
        "Retrieve information about users who match [mask].  [o] specifies IRCops only"}},
      {"/help links", {"Usage: /LINKS", "Find out what servers on on the network"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Type(c.typed), StatusLines(c.shown)) << c.typed;
}

TEST_F(HelpTest, SummaryListsAllFortyOneTopicsOnOneLine) {
  EXPECT_EQ(kCommandList.size(), 248u);
  EXPECT_EQ(Help({"HELP"}), StatusLines({"Here are the commands ZelkIRC supports:", std::string(kCommandList),
                                         "Type /HELP <command> for extended help"}));
}

TEST_F(HelpTest, EveryListedTopicHasItsUsageAndDescription) {
  Words topics;
  SplitWords(kCommandList, topics);
  ASSERT_EQ(topics.size(), 41u);
  const std::string prefix = door::ConvertColourCodes(
      "\x7F"
      "7" +
      std::string(kStatusMarker));
  for (const std::string& topic : topics) {
    std::string shown = Help({"HELP", topic});
    EXPECT_EQ(shown.find("Unknown Command"), std::string::npos) << topic;
    // Two status lines, the first giving the command's own usage.
    ASSERT_TRUE(shown.starts_with(prefix)) << topic;
    size_t end = shown.find("\r\n" + prefix);
    ASSERT_NE(end, std::string::npos) << topic;
    std::string usage = shown.substr(prefix.size(), end - prefix.size());
    EXPECT_TRUE(usage == "Usage: /" + topic || usage.starts_with("Usage: /" + topic + " ")) << usage;
    std::string_view description = std::string_view(shown).substr(end + 2 + prefix.size());
    EXPECT_GT(description.size(), 2u) << topic;
    EXPECT_EQ(description.find("\r\n"), description.size() - 2) << topic;
  }
}

}  // namespace
}  // namespace irc
