// Server lines: the dispatch order, every command's display, PONG, and the user's own JOIN, PART,
// KICK and NICK keeping targets and nickname right.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "irc/client/client.h"
#include "irc/targets_state.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using ServerLinesTest = TrafficTest;

struct LineCase {
  std::string line;
  Shown shown;
  std::vector<std::string> sent;
};

TEST_F(ServerLinesTest, EachCommandShowsItsFormat) {
  const LineCase cases[] = {
      {"ERROR :Closing Link: Wolf (Quit)", {S("\1778ERROR: Closing Link: Wolf (Quit)")}, {}},
      {":Al!al@host.net INVITE Wolf :#chat", {S("\177FAl Invites You to #chat")}, {}},
      {":Al!al@host.net JOIN :#chat", {S("\177BAl \1778[\1773al@host.net\1778] \1777has joined #chat")}, {}},
      {":Al!al@host.net KICK #chat Bob :go away",
       {S("Bob was kicked off #chat by \1773Al \1778(\1777go away\1778)")},
       {}},
      {":Al!al@host.net MODE #chat +o Bob",
       {S("Mode\1778/\1773#chat \1778[\177F+o Bob\1778] \1777by \177FAl")},
       {}},
      {":Al!al@host.net NICK :Ally", {S("\177FAl \1777is now known as \1773Ally")}, {}},
      {"NOTICE AUTH :*** Looking up your hostname", {S("*** Looking up your hostname")}, {}},
      {":Al!al@host.net NOTICE wOLF :psst", {L("\1778-\177DAl\1778(\1775al@host.net\1778)- \1777psst")}, {}},
      {":Al!al@host.net NOTICE #chat :hear ye", {L("\1778-\177DAl\1778:\1775#chat\1778- \1777hear ye")}, {}},
      {":irc.test NOTICE * :*** Checking",
       {L("\1778-\177Dirc.test\1778:\1775*\1778- \1777*** Checking")},
       {}},
      {":Al!al@host.net PART #chat :see you",
       {S("\177BAl \1778[\1773al@host.net\1778] \1777has left #chat")},
       {}},
      {"PING :abc", {}, {"PONG :abc"}},
      {"PING irc.test", {}, {"PONG irc.test"}},
      {":Al!al@host.net PRIVMSG Wolf :hello you",
       {L("\1778[\177DAl\1778(\1775al@host.net\1778)] \1777hello you")},
       {}},
      {":Al!al@host.net PRIVMSG #chat :hello all",
       {L("\1779<\1777Al\1778:\1777#chat\1779> \1777hello all")},
       {}},
      {":Al!al@host.net QUIT :Gone fishing", {S("SignOff \177FAl \1778(\1777Gone fishing\1778)")}, {}},
      {":Al!al@host.net TOPIC #chat :New topic here",
       {S("Topic \1778(\1773#chat\1778): \1777changed by \1773Al\1778: \1777New topic here")},
       {}},
      {":Al!al@host.net WALLOPS :hi ops", {L("\1778:Al!al@host.net WALLOPS :hi ops")}, {}},
      // Upper case only, and each command only in the position tested for it.
      {":Al!al@host.net privmsg #chat :hi", {L("\1778:Al!al@host.net privmsg #chat :hi")}, {}},
      {":irc.test PING :x", {L("\1778:irc.test PING :x")}, {}},
      {"JOIN #chat", {L("\1778JOIN #chat")}, {}},
      // Fewer than two words: dropped, so a bare PING gets no PONG.
      {"PING", {}, {}},
      {"", {}, {}},
      {"PING ", {}, {}},
      // A number in word 1 makes a numeric reply (here an unlisted one), never a PONG.
      {"PING 12345", {L("\1778PING 12345")}, {}},
      // Two blanks: an empty word shifts every later position by one.
      {":Al!al@host.net PRIVMSG  #chat :hi", {L("\1779<\1777Al\1778:\1777\1779> \1777#chat :hi")}, {}},
      // Missing fields show empty; a text word of one character is no CTCP.
      {":Al!al@host.net KICK", {S(" was kicked off  by \1773Al \1778(\1777\1778)")}, {}},
      {":Al!al@host.net PRIVMSG #chat :", {L("\1779<\1777Al\1778:\1777#chat\1779> \1777")}, {}},
      {":Al!al@host.net TOPIC", {S("Topic \1778(\1773\1778): \1777changed by \1773Al\1778: \1777")}, {}},
      // A prefix without "!" gives the whole prefix as nick and, colon included, as user and host.
      {":irc.test JOIN #x", {S("\177Birc.test \1778[\1773:irc.test\1778] \1777has joined #x")}, {}},
      // IRC's colour codes in received text become colours; a DEL is only shown, even before a
      // digit that would make it one of our colour codes.
      {":Al!al@host.net PRIVMSG #chat :\x03"
       "4red\177Cred",
       {L("\1779<\1777Al\1778:\1777#chat\1779> \1777\177Cred^?Cred\1777")},
       {}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Feed(c.line), c.shown);
    EXPECT_EQ(Sent(c.sent.empty() ? 0 : 2000), c.sent);
  }
  EXPECT_EQ(client().targets.names(), std::vector<std::string>{"Status"});
  EXPECT_EQ(client().nick(), "Wolf");
}

// Received escape sequences must not reach the caller's terminal: every ESC is shown as "^[".
TEST_F(ServerLinesTest, EscapeBytesInMessagesAreShownNotObeyed) {
  Feed(":Al!al@host.net PRIVMSG #chat :still here");
  EXPECT_EQ(Feed(":Al!al@host.net PRIVMSG #chat :\x1B[2Jgotcha"),
            Shown{L("\1779<\1777Al\1778:\1777#chat\1779> \1777^[[2Jgotcha")});
  // The earlier line is still on the local console: nothing cleared it.
  bool earlier_line_visible = false;
  for (int row = 1; row <= 24; ++row) {
    earlier_line_visible |= f_.door_fixture.console.RowText(row).find("still here") != std::string::npos;
  }
  EXPECT_TRUE(earlier_line_visible);
}

TEST_F(ServerLinesTest, OwnJoinAddsTargetAndMakesItActive) {
  EXPECT_EQ(Feed(":wolf!w@host JOIN :#Chat"),
            Shown{S("\177Bwolf \1778[\1773w@host\1778] \1777has joined #Chat")});
  EXPECT_EQ(client().targets.names(), (std::vector<std::string>{"Status", "#Chat"}));
  EXPECT_EQ(client().targets.active(), 1);

  Feed(":Wolf!w@host JOIN #other");
  EXPECT_EQ(client().targets.active(), 2);
  // The same channel again: a second entry, and the first one of that name becomes active.
  Feed(":Wolf!w@host JOIN :#chat");
  EXPECT_EQ(client().targets.names(), (std::vector<std::string>{"Status", "#Chat", "#other", "#chat"}));
  EXPECT_EQ(client().targets.active(), 1);
}

// A hostile server may confirm any number of joins with names of any length: the join is shown,
// but only 64 channels of at most 200 bytes are kept as targets.
TEST_F(ServerLinesTest, OwnJoinsBeyondTheLimitsAreShownButNotKept) {
  const std::string longest = "#" + std::string(199, 'n');
  Feed(":Wolf!w@host JOIN " + longest);
  EXPECT_EQ(client().targets.names().back(), longest);
  EXPECT_EQ(Feed(":Wolf!w@host JOIN #" + std::string(200, 'n')),
            (Shown{S("\177BWolf \1778[\1773w@host\1778] \1777has joined #" + std::string(200, 'n')),
                   S("Channel not kept as a target: name longer than 200 characters")}));
  EXPECT_EQ(client().targets.size(), 2u);
  EXPECT_EQ(client().targets.active(), 1);

  for (int i = 2; i <= 64; ++i) Feed(":Wolf!w@host JOIN #c" + std::to_string(i));
  EXPECT_EQ(client().targets.size(), 65u);
  EXPECT_EQ(client().targets.active(), 64);
  EXPECT_EQ(Feed(":Wolf!w@host JOIN #c65"),
            (Shown{S("\177BWolf \1778[\1773w@host\1778] \1777has joined #c65"),
                   S("Channel not kept as a target: 64 channels already open")}));
  EXPECT_EQ(client().targets.size(), 65u);
  EXPECT_EQ(client().targets.active(), 64);
  // Someone else's join never counts, and leaving makes room again.
  Feed(":Al!a@host JOIN #c66");
  Feed(":Wolf!w@host PART #c2");
  Feed(":Wolf!w@host JOIN #c67");
  EXPECT_EQ(client().targets.size(), 65u);
  EXPECT_EQ(client().targets.names().back(), "#c67");
}

TEST_F(ServerLinesTest, OwnNickChangeRenamesTheUser) {
  EXPECT_EQ(Feed(":WOLF!w@host NICK :b"), Shown{S("You are now known as b")});
  EXPECT_EQ(client().nick(), "b");
  EXPECT_EQ(client().door().StatusName(), "b");      // the console's status line follows it
  EXPECT_EQ(client().door().visit.user_handle, "");  // the BBS's handle is not the nickname
  // Now "Wolf" is somebody else.
  EXPECT_EQ(Feed(":Wolf!w@host NICK c"), Shown{S("\177FWolf \1777is now known as \1773c")});
  EXPECT_EQ(client().nick(), "b");
}

TEST_F(ServerLinesTest, OwnQuitLeavesTargetsAlone) {
  SetTargets(client().targets, {"Status", "#a"}, 1);
  Feed(":Wolf!w@host QUIT :bye");
  EXPECT_EQ(client().targets.names(), (std::vector<std::string>{"Status", "#a"}));
  EXPECT_EQ(client().targets.active(), 1);
}

struct LeaveCase {
  std::vector<std::string> targets;
  int active;
  std::string line;
  std::vector<std::string> targets_after;
  int active_after;
};

TEST_F(ServerLinesTest, LeavingAChannelKeepsTheActiveIndexInRange) {
  const std::vector<std::string> abc = {"Status", "#a", "#b", "#c"};
  const LeaveCase cases[] = {
      // The active entry removed: NextTarget moves one past the entry that followed it.
      {abc, 1, ":Wolf!w@h PART #a", {"Status", "#b", "#c"}, 2},
      {abc, 1, ":Al!a@h KICK #a Wolf :out", {"Status", "#b", "#c"}, 2},
      {abc, 3, ":Wolf!w@h PART :#c", {"Status", "#a", "#b"}, 1},
      {{"Status", "#a"}, 1, ":Wolf!w@h PART #a", {"Status"}, 0},
      // Below the active entry: the same target stays active.
      {{"Status", "#a", "#b"}, 2, ":Wolf!w@h PART #a", {"Status", "#b"}, 1},
      {{"Status", "#a", "#b"}, 2, ":Al!a@h KICK #a wolf", {"Status", "#b"}, 1},
      // Above it: the index stays.
      {{"Status", "#a", "#b"}, 1, ":Wolf!w@h PART #b", {"Status", "#a"}, 1},
      // Found without regard to case; the first of two equal entries goes.
      {{"Status", "#a", "#b", "#A"}, 2, ":Wolf!w@h PART #A", {"Status", "#b", "#A"}, 1},
      // Not in the list, somebody else leaving, or somebody else kicked: nothing changes.
      {abc, 2, ":Wolf!w@h PART #zz", abc, 2},
      {abc, 2, ":Al!a@h PART #b", abc, 2},
      {abc, 2, ":Wolf!w@h KICK #b Al", abc, 2},
      // "Status" is never removed, whatever the server says.
      {abc, 0, ":Wolf!w@h PART Status", abc, 0},
      {abc, 2, ":Al!a@h KICK status Wolf", abc, 2},
  };
  for (const LeaveCase& c : cases) {
    SCOPED_TRACE(c.line);
    SetTargets(client().targets, c.targets, c.active);
    Shown shown = Feed(c.line);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(client().targets.names(), c.targets_after);
    EXPECT_EQ(client().targets.active(), c.active_after);
  }
}

TEST_F(ServerLinesTest, CtcpGoesToTheCtcpHandlersInsteadOfTheMessageDisplay) {
  EXPECT_EQ(Feed(":Al!al@host.net PRIVMSG Wolf :\x01VERSION\x01"),
            Shown{S("\177AAl \1772requested VERSION")});
  EXPECT_EQ(Sent(2000), std::vector<std::string>{"NOTICE Al :\x01VERSION ZelkIRC v1.32\x01"});
  EXPECT_EQ(Feed(":Al!al@host.net NOTICE Wolf :\x01PING 43200\x01"),
            Shown{S("CTCP \177FPING \1777reply from Al: ")});
}

// Lines cut short or made of odd words anywhere: every handler reads missing words as empty and
// nothing stops the client.
TEST_F(ServerLinesTest, ArbitraryShortAndOddLinesAreSafe) {
  const std::vector<std::string> commands = {
      "ERROR", "INVITE", "JOIN", "KICK", "MODE", "NICK", "NOTICE", "PART", "PING", "PRIVMSG", "QUIT", "TOPIC",
      "001",   "311",    "317",  "322",  "324",  "329",  "333",    "353",  "372",  "376",     "433",  "999"};
  const std::vector<std::string> words = {"",          ":",    "\x01",  ":\x01",      ":\x01PING",
                                          ":\x01\x01", "wolf", "#a",    "Status",     "x!y@z",
                                          ":x!",       "-1",   "1e309", "99999999999"};
  std::mt19937 random(20240517);
  for (int i = 0; i < 3000; ++i) {
    std::string line = random() % 2 ? ":" + words[random() % words.size()] + " " : "";
    line += commands[random() % commands.size()];
    for (int n = random() % 6; n > 0; --n) line += " " + words[random() % words.size()];
    client().HandleServerLine(line);
    ASSERT_EQ(client().targets.names()[0], "Status");
    ASSERT_GE(client().targets.active(), 0);
    ASSERT_LT(client().targets.active(), static_cast<int>(client().targets.size()));
    f_.CallerText();
    Sent();
  }
}

}  // namespace
}  // namespace irc::traffic_test
