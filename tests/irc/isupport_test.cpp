// What a server's 005 replies change: name comparisons, channel types, prefixes, the nickname
// length, and UTF-8 only sending.
#include "irc/protocol/isupport.h"

#include <gtest/gtest.h>

#include <string>

#include "irc/client/client.h"
#include "traffic_support.h"

namespace irc {
namespace {

ServerSupport After(std::initializer_list<std::string_view> lines) {
  ServerSupport support;
  ServerMessage message;
  for (std::string_view line : lines) {
    message.Parse(line);
    support.Read(message);
  }
  return support;
}

TEST(ServerSupportTest, ReadsTheTokensItUses) {
  const ServerSupport support =
      After({":s 005 me AWAYLEN=200 CASEMAPPING=rfc1459 CHANTYPES=#! :are supported by this server",
             ":s 005 me PREFIX=(qaohv)~&@%+ NICKLEN=30 UTF8ONLY NETWORK=Test :are supported by this server"});
  EXPECT_EQ(support.casemapping, CaseMapping::kRfc1459);
  EXPECT_EQ(support.chantypes, "#!");
  EXPECT_EQ(support.prefix_modes, "qaohv");
  EXPECT_EQ(support.prefix_symbols, "~&@%+");
  EXPECT_EQ(support.nicklen, 30);
  EXPECT_TRUE(support.utf8only);
  EXPECT_EQ(support.WithoutPrefixes("~@+nick"), "nick");
  EXPECT_TRUE(support.IsChannel("!chan"));
  EXPECT_FALSE(support.IsChannel("&chan"));

  // Defaults until a server speaks, back to them on "-TOKEN", and nonsense ignored.
  const ServerSupport none;
  EXPECT_EQ(none.casemapping, CaseMapping::kAscii);
  EXPECT_EQ(none.nicklen, 0);
  EXPECT_TRUE(none.IsChannel("#c") && none.IsChannel("&c") && !none.IsChannel("c") && !none.IsChannel(""));
  const ServerSupport reset =
      After({":s 005 me NICKLEN=30 UTF8ONLY CHANTYPES=# :are supported",
             ":s 005 me -NICKLEN -UTF8ONLY -CHANTYPES PREFIX=(ov@+ NICKLEN=x :are supported"});
  EXPECT_EQ(reset.nicklen, 0);
  EXPECT_FALSE(reset.utf8only);
  EXPECT_EQ(reset.chantypes, "#&");
  EXPECT_EQ(reset.prefix_symbols, "@+");
  const ServerSupport bounded = After({":s 005 me NICKLEN=99999 CHANTYPES=" + std::string(100, '#') + " :x"});
  EXPECT_EQ(bounded.nicklen, 0);
  EXPECT_EQ(bounded.chantypes.size(), ServerSupport::kMaxListLength);
  // The last parameter is the closing text, never a token.
  EXPECT_EQ(After({":s 005 me :NICKLEN=5"}).nicklen, 0);
}

TEST(ServerSupportTest, CaseMappings) {
  struct Case {
    std::string_view a, b;
    bool ascii, rfc1459, strict;
  };
  const Case cases[] = {
      {"Wolf", "wOLF", true, true, true},
      {"w[1]", "W{1}", false, true, true},
      {"a\\b", "A|B", false, true, true},
      {"x~", "X^", false, true, false},
      {"\xC3\xA4", "\xC3\x84", false, false, false},
      {"ab", "abc", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.a);
    ServerSupport support;
    EXPECT_EQ(support.SameName(c.a, c.b), c.ascii);
    support.casemapping = CaseMapping::kRfc1459;
    EXPECT_EQ(support.SameName(c.a, c.b), c.rfc1459);
    support.casemapping = CaseMapping::kStrictRfc1459;
    EXPECT_EQ(support.SameName(c.a, c.b), c.strict);
  }
}

using IsupportTrafficTest = traffic_test::TrafficTest;

TEST_F(IsupportTrafficTest, TheServersCaseMappingDecidesWhatIsOwnAndWhichTarget) {
  f_.client.SetNick("Wolf[1]");
  Feed(":w{1}!w@h JOIN #Chat[x]");
  EXPECT_EQ(client().targets.size(), 1u);  // not own under ASCII rules: someone else joined
  Feed(":irc.test 005 Wolf[1] CASEMAPPING=rfc1459 :are supported by this server");
  Feed(":wolf{1}!w@h JOIN #Chat[x]");
  ASSERT_EQ(client().targets.size(), 2u);
  EXPECT_EQ(client().targets.Find("#chat{X}"), 1);
  Feed(":WOLF[1]!w@h PART #CHAT{x}");
  EXPECT_EQ(client().targets.size(), 1u);
  // A new connection starts from the door's own rules again.
  f_.server.Close();
  ASSERT_TRUE(f_.Connect());
  EXPECT_EQ(client().server_support.casemapping, CaseMapping::kAscii);
}

TEST_F(IsupportTrafficTest, Utf8OnlyServersGetUtf8WhateverTheNetworkSays) {
  client().SetNetworkCharset(text::NetworkCharset::kLatin1);
  client().server_link.SendLine("PRIVMSG #c :\xC3\xA9");
  EXPECT_EQ(Sent(2000), std::vector<std::string>{"PRIVMSG #c :\xE9"});
  Feed(":irc.test 005 Wolf UTF8ONLY NICKLEN=16 :are supported by this server");
  EXPECT_EQ(client().server_support.nicklen, 16);
  client().server_link.SendLine("PRIVMSG #c :\xC3\xA9");
  EXPECT_EQ(Sent(2000), std::vector<std::string>{"PRIVMSG #c :\xC3\xA9"});
}

}  // namespace
}  // namespace irc
