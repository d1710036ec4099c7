// IRC text on the caller's screen, for a code page 437 and a UTF-8 caller: messages with
// formatting, names and channel names with control bytes in every place they are shown, legacy
// network charsets both ways, and long typed lines split between characters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "door/door.h"
#include "irc/client/client.h"
#include "irc/protocol/message_split.h"
#include "support/server_fixture.h"
#include "text/caller_charset.h"
#include "text/utf8.h"

namespace irc {
namespace {

using testsupport::ServerFixture;
using text::CallerCharset;

struct Row {
  const char* name;
  std::vector<std::string> server_lines;
  std::string cp437;  // must appear in what a code page 437 caller gets
  std::string utf8;   // the same for a UTF-8 caller
};

std::string Shown(const std::vector<std::string>& lines, CallerCharset charset) {
  ServerFixture f;
  f.door().visit.caller_charset = charset;
  f.client.SetNick("Wolf");
  f.CallerText();
  for (const std::string& line : lines) f.client.HandleServerLine(line);
  f.client.DrawInputLine();
  return f.CallerText();
}

TEST(ShownText, EveryPlaceIrcTextIsShown) {
  const Row rows[] = {
      {"message with colours, accents and emoji",
       {":Bob!b@h PRIVMSG #chat :\x03"
        "4caf\xC3\xA9\x0f \xF0\x9F\x98\x80"},
       "\x1b[1;34m> \x1b[0;37m\x1b[1;31mcaf\x82\x1b[0;37m ?\r\n",
       "\x1b[1;34m> \x1b[0;37m\x1b[1;31mcaf\xC3\xA9\x1b[0;37m \xF0\x9F\x98\x80\r\n"},
      {"backspaces cannot forge a line",
       {":evil!e@h PRIVMSG #chat :\x08\x08\x08\x08<admin:#chat> re-enter"},
       "^H^H^H^H<admin:#chat> re-enter",
       "^H^H^H^H<admin:#chat> re-enter"},
      {"own join of a hostile channel: status line and prompt",
       {":Wolf!w@h JOIN :#x\x1b[2J\x1b]0;pwned\x07"},
       "has joined #x^[[2J^[]0;pwned^G\r\n\x1b[0;37m[#x^[[2J^[]0;pwned^G] ",
       "has joined #x^[[2J^[]0;pwned^G\r\n\x1b[0;37m[#x^[[2J^[]0;pwned^G] "},
      {"invite to a channel with C1 and SO",
       {":Bob!b@h INVITE Wolf :#y\xC2\x9B\x0E"},
       "Invites You to #y^[[^N",
       "Invites You to #y^[[^N"},
      {"WHOIS box",
       {":irc 311 Wolf Bob b h * :Jos\xC3\xA9 \xFF\x1b[31m"},
       "\xB3 \x1b[1;37mi\x1b[0;37mrcname  : Jos\x82 \x98^[[31m",
       "\xE2\x94\x82 \x1b[1;37mi\x1b[0;37mrcname  : Jos\xC3\xA9 \xC3\xBF^[[31m"},
      {"nick list padded by characters",
       {":irc 353 Wolf = #chat :\xC3\xA9mile @op"},
       "\x1b[1;34m\x82mile        \x1b[1;30m]",
       "\x1b[1;34m\xC3\xA9mile        \x1b[1;30m]"},
      {"CTCP action",
       {":Bob!b@h PRIVMSG #chat :\x01"
        "ACTION \x02waves\x0E\x01"},
       "\xF0 \x1b[1;33mBob\x1b[1;30m:\x1b[1;33m#chat \x1b[0;37m\x1b[1;37mwaves^N\x1b[0;37m\r\n",
       "\xE2\x89\xA1 \x1b[1;33mBob\x1b[1;30m:\x1b[1;33m#chat \x1b[0;37m\x1b[1;37mwaves^N\x1b[0;37m\r\n"},
      {"numeric reply text",
       {":irc 401 Wolf n\x07"
        "ck :No such nick"},
       "No such nick: n^Gck",
       "No such nick: n^Gck"},
      {"unknown line", {":irc FOO \x1b[2J\x9B"}, ":irc FOO ^[[2J>", ":irc FOO ^[[2J\xE2\x80\xBA"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string cp437 = Shown(row.server_lines, CallerCharset::kCp437);
    EXPECT_NE(cp437.find(row.cp437), std::string::npos) << cp437;
    const std::string utf8 = Shown(row.server_lines, CallerCharset::kUtf8);
    EXPECT_NE(utf8.find(row.utf8), std::string::npos) << utf8;
  }
}

TEST(ShownText, LegacyNetworkCharsetBothWays) {
  ServerFixture f;
  ASSERT_TRUE(f.Connect());
  f.client.SetNetworkCharset(text::NetworkCharset::kLatin1);
  f.client.targets.Add("#caf\xC3\xA9");
  f.client.HandleServerLine(":Bob!b@h PRIVMSG #caf\xE9 :na\xEFve \x80");
  const std::string shown = f.CallerText();
  EXPECT_NE(shown.find("#caf\x82\x1b[1;34m> \x1b[0;37mna\x8Bve ^[@"), std::string::npos)
      << shown;  // 0x80 is a C1 control in Latin-1
  f.client.ProcessInputLine("s\xC3\xBB\xC5\x82");
  EXPECT_TRUE(f.server.WaitForLine("PRIVMSG #caf\xE9 :s\xFBl", 2000)) << f.server.received();
}

TEST(ShownText, LongTypedLinesGoOutInPiecesBetweenCharacters) {
  ServerFixture f;
  ASSERT_TRUE(f.Connect());
  f.client.targets.Add("#chat");
  std::string typed;
  for (int i = 0; i < 300; ++i) typed += i % 7 == 6 ? " " : "\xC3\xA9";  // 600 bytes and more
  typed += "\xF0\x9F\x98\x80 end";
  f.client.ProcessInputLine(typed);
  f.client.server_link.SendLine("MARK");
  ASSERT_TRUE(f.server.WaitForLine("MARK", 2000));
  std::string joined;
  size_t pieces = 0;
  for (const std::string& line : f.server.lines()) {
    if (!line.starts_with("PRIVMSG #chat :")) continue;
    ++pieces;
    // Room left for the server's ":Wolf!user@host " when it passes the line on.
    EXPECT_LE(line.size() + 2 + MessageTextRoom("", "", "Wolf") - MessageTextRoom("", "", ""), kIrcLineBytes);
    const std::string text = line.substr(15);
    EXPECT_EQ(text::CutAtCharBoundary(text, text.size() - 1) + 1 >= text.size() - 3, true);
    EXPECT_FALSE(text::IsContinuation(static_cast<unsigned char>(text.front())));
    joined += text;
  }
  EXPECT_EQ(pieces, 2u);
  EXPECT_EQ(joined, typed);
}

TEST(MessageSplit, CutsAfterABlankOrBetweenCharacters) {
  EXPECT_EQ(SplitMessageText("", 10), std::vector<std::string_view>{""});
  EXPECT_EQ(SplitMessageText("abc def ghi", 8), (std::vector<std::string_view>{"abc def ", "ghi"}));
  EXPECT_EQ(SplitMessageText("\xC3\xA9\xC3\xA9\xC3\xA9", 5),
            (std::vector<std::string_view>{"\xC3\xA9\xC3\xA9", "\xC3\xA9"}));
  EXPECT_EQ(SplitMessageText("a bcdefgh", 6), (std::vector<std::string_view>{"a bcde", "fgh"}));
  EXPECT_EQ(MessageTextRoom("PRIVMSG #c :", "", "Wolf"), 512u - 2 - 12 - 4 - 77);
}

}  // namespace
}  // namespace irc
