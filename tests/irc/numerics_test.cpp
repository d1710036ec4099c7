// Numeric replies: one case per row shape of the reply table, the nickname retry, the message of
// the day with the auto-join, and numbers without a row.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/client/client.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

class NumericsTest : public TrafficTest {
 protected:
  NumericsTest() : TrafficTest("[MyNet]\nchannels=#chat,#more\n") {}
};

struct NumericCase {
  std::string line;
  Shown shown;
};

const std::string kWhoisTop =
    "\177A\xDA\xC4\xC4\xC4\xC4\xC4---\1772\xC4\177A--\1772\xC4\xC4\177A-\1772\xC4\xC4\xC4\xC4\xC4\xC4---"
    "\1778\xC4\1772--"
    "\1778\xC4\xC4\1772-\1778\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4\xC4--- --  -";

TEST_F(NumericsTest, EachRowShapeShowsItsFormat) {
  ASSERT_EQ(kWhoisTop.size(), 70u);
  const NumericCase cases[] = {
      // Text alone, from word 3 without its colon; 001 and 1 are the same row.
      {":irc.test 001 Wolf :Welcome to the net, Wolf", {S("Welcome to the net, Wolf")}},
      {":irc.test 1 Wolf :Welcome", {S("Welcome")}},
      {":irc.test 502 Wolf :Cant change mode for other users", {S("Cant change mode for other users")}},
      // Raw in grey: the line rebuilt from its words, so a blank at its end is lost.
      {":irc.test 200 Wolf Link 1.0 next", {L("\1777:irc.test 200 Wolf Link 1.0 next")}},
      {":irc.test 212 Wolf PRIVMSG 7 ", {L("\1777:irc.test 212 Wolf PRIVMSG 7")}},
      {":irc.test 393 Wolf :al ttyp0 host", {L("\1777:irc.test 393 Wolf :al ttyp0 host")}},
      {":irc.test 221 Wolf +iw", {S("Your user mode is [+iw]")}},
      {":irc.test 252 Wolf 2 :operator(s) online", {S("Operator(s) online: 2")}},
      {":irc.test 253 Wolf 1 :unknown", {S("Unknown connection(s): 1")}},
      {":irc.test 254 Wolf 12 :channels formed", {S("Channel(s) formed: 12")}},
      {":irc.test 301 Wolf Al :Gone fishing", {L("\1778| \177Fa\1777way     : Al - Gone fishing")}},
      {":irc.test 303 Wolf :Al Bob", {S("Currently online: Al Bob")}},
      {":irc.test 311 Wolf Al ~al host.net * :Al Smith",
       {L(kWhoisTop), L("\177A| \177FAl \1778(\1777~al@host.net\1778)"),
        L("\177A\xB3 \177Fi\1777rcname  : Al Smith")}},
      {":irc.test 312 Wolf Al irc.test :Test server",
       {L("\1778\xB3 \177Fs\1777erver   : irc.test \1778(\1777Test server\1778)")}},
      {":irc.test 313 Wolf Al :is an IRC operator", {L("\1778| \177Fo\1777ther    : Al is an IRC operator")}},
      {":irc.test 314 Wolf Al ~al host.net * :Al Smith",
       {S("\177FAl\1777 was \1778(\1777~al@host.net\1778)"), S("\177Fi\1777rcname  : Al Smith")}},
      {":irc.test 317 Wolf Al 3661 1700000000 :seconds idle", {L("\1778: \177Fi\1777dle     : 1h 1m 1s")}},
      {":irc.test 317 Wolf Al 0 1700000000 :seconds idle", {L("\1778: \177Fi\1777dle     : 0s")}},
      {":irc.test 317 Wolf Al soon :seconds idle", {L("\1778: \177Fi\1777dle     : 0s")}},
      {":irc.test 319 Wolf Al :@#chat +#more", {L("\1778| \177Fc\1777hannels : @#chat +#more")}},
      {":irc.test 321 Wolf Channel :Users Name", {L("Channel     Users  Topic" + std::string(55, ' '))}},
      {":irc.test 322 Wolf #abcdefghijk 7 :Cool topic",
       {L("#abcdefghi      7  Cool topic" + std::string(50, ' '))}},
      {":irc.test 322 Wolf #c 123456 :" + std::string(70, 't'),
       {L("#c          12345  " + std::string(60, 't'))}},
      // 324: exactly five words give the short form; others the long one.
      {":irc.test 324 Wolf #chat +tn",
       {S("irc.test 324 Wolf #chat +tn"), S("mode\1778/\1773#chat \1778[\177F+tn\1778]")}},
      {":irc.test 324 Wolf #chat +tnl 25",
       {S("irc.test 324 Wolf #chat +tnl 25"), S("mode\1778/\1773#chat \1778[\177F+tnl 25\1778]")}},
      {":irc.test 324 Wolf", {S("irc.test 324 Wolf"), S("mode\1778/\1773 \1778[\177F \1778]")}},
      {":irc.test 329 Wolf #chat 0", {S("Channel #chat was created at 1/1/70")}},
      {":irc.test 329 Wolf #chat 1700000000", {S("Channel #chat was created at 11/14/23 10:13:20 pm")}},
      {":irc.test 329 Wolf #chat", {S("Channel #chat was created at ")}},
      {":irc.test 329 Wolf #chat yesterday", {S("Channel #chat was created at ")}},
      {":irc.test 332 Wolf #chat :All about dogs", {S("Topic \1778(\1773#chat\1778): \1777All about dogs")}},
      {":irc.test 333 Wolf #chat Al 86399",
       {S("Topic \1778(\1773#chat\1778): \1777set by \1773Al \1777at \17731/1/70 11:59:59 pm")}},
      {":irc.test 341 Wolf #chat Al", {S("\177FInviting Al to #chat")}},
      // Word 8 appears twice: once on its own, once opening the trailing text.
      {":irc.test 352 Wolf #chat ~al host.net irc.test Al H :0 Al Smith",
       {S("#chat Al H ~al@host.net H :0 Al Smith")}},
      {":irc.test 353 Wolf = #chat :@op voice x",
       {S("\1778[\177AUsers\1778(\1772#chat\1778:\17723\1778)]"),
        L("\1778[\1779@op          \1778] \1778[\1779voice        \1778] \1778[\1779x            \1778] ")}},
      {":irc.test 353 Wolf = #c :averyveryverylongnick",
       {S("\1778[\177AUsers\1778(\1772#c\1778:\17721\1778)]"), L("\1778[\1779averyveryvery\1778] ")}},
      {":irc.test 353 Wolf =", {S("\1778[\177AUsers\1778(\1772\1778:\1772-1\1778)]"), L("")}},
      {":irc.test 364 Wolf * irc.test :0 Test server", {S("irc.test 0 Test server")}},
      {":irc.test 367 Wolf #chat *!*@bad.host Al 1700000000", {S("#chat *!*@bad.host")}},
      {":irc.test 382 Wolf ircd.conf :Rehashing", {S("Rehashingircd.conf")}},
      {":irc.test 391 Wolf irc.test :Tuesday noon", {S("irc.testTuesday noon")}},
      {":irc.test 401 Wolf Bob :No such nick/channel", {S("No such nick/channel: Bob")}},
      {":irc.test 402 Wolf far.away :No such server", {S("far.away  No such server")}},
      {":irc.test 405 Wolf #ten :You have joined too many channels",
       {S("You have joined too many channels")}},
      {":irc.test 441 Wolf Al #chat :They aren't on that channel", {S("Al is not on #chat")}},
      {":irc.test 442 Wolf #chat :You're not on that channel", {S("You're not on #chat")}},
      {":irc.test 443 Wolf Al #chat :is already on channel", {S("Al is already on #chat")}},
      {":irc.test 472 Wolf ! :is unknown mode char to me", {S("! is unknown mode char to me")}},
      // Replies of today's servers.
      {":irc.test 265 Wolf 1 7 :Current local users: 1, Max: 7", {S("Current local users: 1, Max: 7")}},
      {":irc.test 266 Wolf :Current global users: 3  Max: 9", {S("Current global users: 3  Max: 9")}},
      {":irc.test 266 Wolf 3 9", {S("9")}},
      {":irc.test 266 Wolf", {S("")}},
      {":irc.test 330 Wolf Al al :is logged in as", {L("\1778| \177Fa\1777ccount  : al")}},
      {":irc.test 378 Wolf Al :is connecting from *@127.0.0.1 127.0.0.1",
       {L("\1778| \177Fh\1777ost     : is connecting from *@127.0.0.1 127.0.0.1")}},
      {":irc.test 379 Wolf Al :is using modes +iwx", {L("\1778| \177Fm\1777odes    : is using modes +iwx")}},
      {":irc.test 671 Wolf Al :is using a secure connection",
       {L("\1778| \177Fs\1777ecure   : is using a secure connection")}},
      {":irc.test 396 Wolf user/al :is now your displayed host", {S("user/al is now your displayed host")}},
      {":irc.test 900 Wolf Wolf!w@h wolf :You are now logged in as wolf",
       {S("You are now logged in as wolf")}},
      {":irc.test 901 Wolf Wolf!w@h :You are now logged out", {S("You are now logged out")}},
      {":irc.test 902 Wolf :You must use a nick assigned to you", {S("You must use a nick assigned to you")}},
      {":irc.test 903 Wolf :SASL authentication successful", {S("SASL authentication successful")}},
      {":irc.test 904 Wolf :SASL authentication failed", {S("SASL authentication failed")}},
      {":irc.test 907 Wolf :You have already authenticated", {S("You have already authenticated")}},
      {":irc.test 908 Wolf PLAIN,EXTERNAL :are available SASL mechanisms",
       {S("PLAIN,EXTERNAL are available SASL mechanisms")}},
      // Numbers without a row: the line exactly as received, in dark grey.
      {":irc.test 000 Wolf :zero ", {L("\1778:irc.test 000 Wolf :zero ")}},
      {":irc.test 999 Wolf :x", {L("\1778:irc.test 999 Wolf :x")}},
      {":irc.test 1001 Wolf :x", {L("\1778:irc.test 1001 Wolf :x")}},
      {":irc.test -5 Wolf :x", {L("\1778:irc.test -5 Wolf :x")}},
      {":irc.test 004 Wolf irc.test ngircd-26 abc", {S("irc.test ngircd-26 abc")}},
      {":irc.test 262 Wolf :end of trace", {L("\1778:irc.test 262 Wolf :end of trace")}},
  };
  for (const NumericCase& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Feed(c.line), c.shown);
  }
  EXPECT_EQ(Sent(), std::vector<std::string>{});
}

TEST_F(NumericsTest, TheNothingRowShowsNothing) {
  for (int number : {300, 302, 315, 318, 323, 331, 342, 365, 366, 368, 369, 374}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(Feed(":irc.test " + std::to_string(number) + " Wolf #chat :End of list"), Shown{});
  }
}

TEST_F(NumericsTest, UnixTimesUseTheCurrentBias) {
  // One hour east of UTC: the epoch is 01:00 local time, so the time is shown too.
  client().date_time_format.time_zone_bias = [] { return -60; };
  EXPECT_EQ(Feed(":irc.test 329 Wolf #chat 0"), Shown{S("Channel #chat was created at 1/1/70 1:00:00 am")});
  client().date_time_format.time_zone_bias = [] { return 0; };
  EXPECT_EQ(Feed(":irc.test 329 Wolf #chat 0"), Shown{S("Channel #chat was created at 1/1/70")});
}

// While registering, a refused nickname is retried on its own (shorter, then numbered) and the
// caller hears once which one the server took; after the welcome a refusal is only shown.
TEST_F(NumericsTest, RefusedNicknameIsRetriedOnlyWhileRegistering) {
  client().SetNick("Wolf_Larsen");
  ASSERT_TRUE(f_.Connect());
  EXPECT_EQ(f_.server.lines().at(1), "NICK Wolf_Larsen");
  const struct {
    std::string refusal;
    std::string next;
  } steps[] = {
      {":irc.test 432 * Wolf_Larsen :Erroneous nickname", "NICK Wolf_Lar"},
      {":irc.test 433 * Wolf_Lar :Nickname is already in use", "NICK Wolf_La1"},
      {":irc.test 437 * Wolf_La1 :Nick/channel is temporarily unavailable", "NICK Wolf_La2"},
  };
  for (const auto& step : steps) {
    EXPECT_EQ(Feed(step.refusal), Shown{}) << step.refusal;
    EXPECT_EQ(Sent(2000), std::vector<std::string>{step.next});
  }
  EXPECT_EQ(Feed(":irc.test 001 Wolf_La2 :Welcome"),
            (Shown{S("Welcome"), S("You are now known as Wolf_La2")}));
  EXPECT_EQ(client().nick(), "Wolf_La2");

  EXPECT_EQ(Feed(":irc.test 433 Wolf_La2 Bob :Nickname is already in use"),
            Shown{S("Nickname is already in use: Bob")});
  EXPECT_EQ(Feed(":irc.test 432 Wolf_La2 B.b :Erroneous Nickname"), Shown{S("Erroneous Nickname: B.b")});
  EXPECT_EQ(client().nick(), "Wolf_La2");
  EXPECT_EQ(Feed(":irc.test 001 Wolf_La2 :Welcome"), Shown{S("Welcome")});
  f_.client.server_link.SendLine("MARK");
  EXPECT_EQ(Sent(2000), std::vector<std::string>{"MARK"});
}

TEST_F(NumericsTest, EveryFormRefusedAsksForANickname) {
  client().door().visit.node = 4;
  ASSERT_TRUE(f_.Connect());
  std::vector<std::string> tried{"Wolf"};
  for (int i = 0; i < 20; ++i) {
    const Shown shown = Feed(":irc.test 433 * " + tried.back() + " :Nickname is already in use");
    const std::vector<std::string> sent = Sent(100);
    if (sent.empty()) {
      EXPECT_EQ(shown, (Shown{S("Nickname is already in use: " + tried.back()),
                              S("No nickname was accepted: choose one with /NICK <nickname>")}));
      break;
    }
    EXPECT_EQ(shown, Shown{});
    ASSERT_EQ(sent.size(), 1u);
    tried.push_back(sent[0].substr(5));
  }
  EXPECT_EQ(tried, (std::vector<std::string>{"Wolf", "Wolf1", "Wolf2", "Wolf3", "Wolf4", "Wolf5", "Wolf6",
                                             "Wolf7", "Wolf8", "Wolf9", "Guest4"}));
}

// The server's NICKLEN, and the nickname its welcome names, hold for the next registration.
TEST_F(NumericsTest, ServerNickLengthAndRegisteredNickAreKept) {
  client().SetNick("Wolf_Larsen_of_the_Ghost");
  ASSERT_TRUE(f_.Connect());
  EXPECT_EQ(f_.server.lines().at(1), "NICK Wolf_Larsen_of_the_Ghost");
  // A server that cuts long nicknames names the one it registered.
  Feed(":irc.test 001 Wolf_Larsen_of :Welcome");
  Feed(":irc.test 005 Wolf_Larsen_of CHANTYPES=# NICKLEN=9 NETWORK=Test :are supported by this server");
  EXPECT_EQ(client().nick(), "Wolf_Larsen_of");
  ASSERT_TRUE(f_.Connect());
  EXPECT_EQ(f_.server.lines().at(1), "NICK Wolf_Lars");
}

TEST_F(NumericsTest, MessageOfTheDayShownOnlyOnRequestAndItsEndJoinsOnce) {
  client().network_name = "MyNet";
  client().auto_join_pending = true;
  EXPECT_EQ(Feed(":irc.test 375 Wolf :- irc.test Message of the day -"), Shown{});
  EXPECT_EQ(Feed(":irc.test 372 Wolf :- Welcome"), Shown{});
  EXPECT_EQ(Feed(":irc.test 376 Wolf :End of MOTD command"), Shown{});
  EXPECT_EQ(Sent(2000), std::vector<std::string>{"JOIN #chat,#more"});
  EXPECT_FALSE(client().auto_join_pending);

  // After /MOTD the listing is shown; its end clears the request and joins nothing again.
  client().motd_requested = true;
  EXPECT_EQ(Feed(":irc.test 375 Wolf :- irc.test Message of the day -"),
            Shown{S("- irc.test Message of the day -")});
  EXPECT_EQ(Feed(":irc.test 372 Wolf :- Welcome"), Shown{S("- Welcome")});
  EXPECT_EQ(Feed(":irc.test 376 Wolf :End of MOTD command"), Shown{});
  EXPECT_FALSE(client().motd_requested);
  EXPECT_EQ(Feed(":irc.test 372 Wolf :- Welcome"), Shown{});
  EXPECT_EQ(Sent(), std::vector<std::string>{});
}

TEST_F(NumericsTest, NoMotdReplyShowsItsTextAndNeverJoins) {
  client().network_name = "MyNet";
  client().auto_join_pending = true;
  EXPECT_EQ(Feed(":irc.test 422 Wolf :MOTD File is missing"), Shown{S("MOTD File is missing")});
  EXPECT_TRUE(client().auto_join_pending);
  EXPECT_EQ(Sent(), std::vector<std::string>{});
}

}  // namespace
}  // namespace irc::traffic_test
