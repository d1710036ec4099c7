// The sysop chat on a real terminal with a real caller: IRC goes on meanwhile (PING and CTCP are
// answered at once), what arrives for the caller is shown after the chat with the prompt, and
// letters beyond ASCII typed on either side reach both screens in each one's charset.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "support/scripted_server.h"
#include "support/sockets.h"
#include "support/temp_ini.h"
#include "support/terminal_door.h"

namespace {

using testsupport::OneNetworkIni;
using testsupport::ScriptedServer;
using testsupport::TerminalDoor;

constexpr int kWaitMs = 10'000;

struct ChatCase {
  const char* name;
  std::string_view probe_answer;
  std::string caller_types;  // "é" in the caller's charset
  std::string caller_sees;   // "ü", typed by the sysop, in the caller's charset
};

void PrintTo(const ChatCase& c, std::ostream* out) {
  *out << c.name;
}

class SysopChat : public ::testing::TestWithParam<ChatCase> {};

TEST_P(SysopChat, KeepsIrcAliveAndCarriesLettersBeyondAscii) {
  const ChatCase& c = GetParam();
  ScriptedServer server;
  TerminalDoor door(OneNetworkIni(server.port(), "handle=Wolf\n"));
  door.probe_answer = std::string(c.probe_answer);
  door.Start();
  ASSERT_TRUE(server.Accept(kWaitMs));
  ASSERT_TRUE(server.WaitForLine("USER ", kWaitMs));
  server.SendLine(":irc.test 001 Wolf :Welcome");
  ASSERT_TRUE(door.CallerWaitFor("Welcome", kWaitMs)) << door.CallerReceived();
  ASSERT_TRUE(door.TerminalWaitFor("Welcome", kWaitMs)) << door.Describe();

  door.SysopTypes("\033c");  // Alt-C
  ASSERT_TRUE(door.CallerWaitFor("Chat Mode Initiated", kWaitMs)) << door.Describe();
  const size_t chat_start = door.CallerReceived().size();

  // The server is heard during the chat: a message waits, PING and CTCP are answered now.
  server.SendLine(":bob!b@host PRIVMSG Wolf :said during the chat");
  server.SendLine(":bob!b@host PRIVMSG Wolf :\x01VERSION\x01");
  server.SendLine("PING :still-there");
  EXPECT_TRUE(server.WaitForLine("NOTICE bob :\x01VERSION ZelkIRC v1.32\x01", kWaitMs));
  EXPECT_TRUE(server.WaitForLine("PONG :still-there", kWaitMs));

  door.CallerTypes(c.caller_types);
  ASSERT_TRUE(door.TerminalWaitFor("é", kWaitMs)) << door.Describe();
  door.SysopTypes("ü");
  ASSERT_TRUE(door.CallerWaitFor(c.caller_sees, kWaitMs)) << door.CallerReceived();
  EXPECT_EQ(door.CallerReceived().find("said during the chat", chat_start), std::string::npos);

  door.SysopTypes("\033");  // Esc ends the chat
  ASSERT_TRUE(door.CallerWaitFor("Chat Mode Terminated", kWaitMs)) << door.CallerReceived();
  // The prompt is drawn again after what waited.
  std::string after;
  for (int tries = 0; tries < 100; ++tries) {
    after = door.CallerReceived().substr(chat_start);
    const size_t held = after.find("said during the chat");
    if (held != std::string::npos && after.find("[Status]", held) != std::string::npos) break;
    door.CallerWaitFor("\x01never\x01", 50);
  }
  const size_t ended = after.find("Chat Mode Terminated");
  const size_t held = after.find("said during the chat");
  const size_t prompt = after.rfind("[Status]");
  ASSERT_NE(ended, std::string::npos) << after;
  ASSERT_NE(held, std::string::npos) << after;
  ASSERT_NE(prompt, std::string::npos) << after;
  EXPECT_LT(ended, held) << after;
  EXPECT_LT(held, prompt) << after;
  EXPECT_TRUE(door.TerminalWaitFor("said during the chat", kWaitMs)) << door.Describe();

  door.CloseCaller();
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

INSTANTIATE_TEST_SUITE_P(Charsets, SysopChat,
                         ::testing::Values(ChatCase{"Cp437", testsupport::kCp437ProbeAnswer, "\x82", "\x81"},
                                           ChatCase{"Utf8", testsupport::kUtf8ProbeAnswer, "\xC3\xA9",
                                                    "\xC3\xBC"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

// A chat opened while the network menu waits for the caller's choice: the menu is drawn again
// after it, and still takes the choice.
TEST(SysopChatInTheMenu, TheMenuComesBackAndStillTakesTheChoice) {
  ScriptedServer server;
  TerminalDoor door("[general]\nhandle=Wolf\n[First]\n127.0.0.1=" + std::to_string(server.port()) +
                    "\n[Second]\n127.0.0.1=" + std::to_string(server.port()) + "\n");
  door.Start();
  ASSERT_TRUE(door.CallerWaitFor("  Your Choice: ", kWaitMs)) << door.CallerReceived();
  door.SysopTypes("\033c");  // Alt-C
  ASSERT_TRUE(door.CallerWaitFor("Chat Mode Initiated", kWaitMs)) << door.Describe();
  door.CallerTypes("hi\x1b");
  ASSERT_TRUE(door.CallerWaitFor("Chat Mode Terminated", kWaitMs)) << door.CallerReceived();
  const size_t ended = door.CallerReceived().find("Chat Mode Terminated");
  ASSERT_TRUE(door.CallerWaitFor("B) Second", kWaitMs));
  EXPECT_TRUE(door.CallerWaitFor("  Your Choice: ", kWaitMs));
  EXPECT_NE(door.CallerReceived().find("  Your Choice: ", ended), std::string::npos) << door.CallerReceived();
  door.CallerTypes("b");
  ASSERT_TRUE(server.Accept(kWaitMs));
  EXPECT_TRUE(server.WaitForLine("NICK Wolf", kWaitMs));
  door.CloseCaller();
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

}  // namespace

namespace {

// A chat opened while the caller types a user name for a server that asks for one: the prompt and
// what was typed so far come back after it, and the typing goes on.
TEST(SysopChatInTheLogin, ThePromptAndTheTypedNameComeBack) {
  ScriptedServer server;
  TerminalDoor door(OneNetworkIni(server.port(), "handle=Wolf\n", "pass=1\n"));
  door.Start();
  ASSERT_TRUE(door.CallerWaitFor("Please Enter Your User Name: ", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("jo");
  ASSERT_TRUE(door.TerminalWaitFor("jo", kWaitMs)) << door.Describe();
  door.SysopTypes("\033c");  // Alt-C
  ASSERT_TRUE(door.CallerWaitFor("Chat Mode Initiated", kWaitMs)) << door.Describe();
  door.CallerTypes("\x1b");
  ASSERT_TRUE(door.CallerWaitFor("Chat Mode Terminated", kWaitMs)) << door.CallerReceived();
  const size_t ended = door.CallerReceived().find("Chat Mode Terminated");
  ASSERT_TRUE(door.CallerWaitFor("jo      ", kWaitMs)) << door.CallerReceived();
  const std::string after = door.CallerReceived().substr(ended);
  EXPECT_NE(after.find("This server requires authentication"), std::string::npos) << after;
  EXPECT_NE(after.find("Please Enter Your User Name: "), std::string::npos) << after;
  EXPECT_NE(after.find("jo      "), std::string::npos) << after;  // the field, drawn again
  door.CallerTypes("e\r");
  ASSERT_TRUE(door.CallerWaitFor("Please Enter Your Password:  ", kWaitMs)) << door.CallerReceived();
  door.CallerTypes("secret\r");
  ASSERT_TRUE(server.Accept(kWaitMs));
  EXPECT_TRUE(server.WaitForLine("PASS :secret", kWaitMs)) << server.received();
  EXPECT_TRUE(server.WaitForLine("NICK joe", kWaitMs)) << server.received();
  door.CloseCaller();
  EXPECT_EQ(door.WaitExit(kWaitMs), 0);
}

}  // namespace
