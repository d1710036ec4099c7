// Typed lines on a connected client: a paste goes out five lines at once and then one every two
// seconds of the (settable) clock, in order, while PONG and QUIT never wait.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "irc/client/client.h"
#include "traffic_support.h"

namespace irc::traffic_test {
namespace {

using Lines = std::vector<std::string>;

class PacingTest : public TrafficTest {
 protected:
  void SetUp() override {
    TrafficTest::SetUp();
    client().targets.Add("#chat");
  }

  void Paste(int first, int count) {
    for (int i = first; i < first + count; ++i) client().ProcessInputLine("line " + std::to_string(i));
  }

  static Lines Privmsgs(int first, int count) {
    Lines lines;
    for (int i = first; i < first + count; ++i) lines.push_back("PRIVMSG #chat :line " + std::to_string(i));
    return lines;
  }
};

TEST_F(PacingTest, PasteGoesOutFiveAtOnceThenOneEveryTwoSeconds) {
  Paste(0, 20);
  EXPECT_EQ(f_.SentUpToMarker(), Privmsgs(0, 5));
  EXPECT_EQ(client().MsUntilNextSend(), 2000);
  // Everything typed was shown at once, whatever waits to be sent.
  EXPECT_EQ(DecodeShown(f_.CallerText()).size(), 20u);

  // The server's PING is answered at once, ahead of the waiting lines.
  client().HandleServerLine("PING :irc.test");
  EXPECT_EQ(f_.SentUpToMarker(), Lines{"PONG :irc.test"});

  clock().Advance(1999);
  client().SendDueLines();
  EXPECT_EQ(f_.SentUpToMarker(), Lines{});
  clock().Advance(1);
  client().SendDueLines();
  EXPECT_EQ(f_.SentUpToMarker(), Privmsgs(5, 1));
  for (int i = 6; i < 20; ++i) {
    clock().Advance(client().MsUntilNextSend());
    client().SendDueLines();
  }
  EXPECT_EQ(f_.SentUpToMarker(), Privmsgs(6, 14));
  EXPECT_EQ(client().MsUntilNextSend(), -1);
}

TEST_F(PacingTest, QuitLeavesAtOnceAndTheNextConnectionStartsAfresh) {
  Paste(0, 8);
  f_.SentUpToMarker();
  client().ProcessInputLine("/quit bye");
  EXPECT_EQ(f_.SentUpToMarker(), Lines{"QUIT :ZelkIRC v1.32 (bye)"});
  client().quit_requested = false;
  f_.server.Close();
  ASSERT_TRUE(f_.Connect());
  EXPECT_EQ(client().MsUntilNextSend(), -1);  // the three lines left over belonged to the old server
  Paste(100, 5);
  EXPECT_EQ(f_.SentUpToMarker(), Privmsgs(100, 5));
}

TEST_F(PacingTest, LinesWaitingForAServerThatLeftAreCountedAndForgotten) {
  Paste(0, 8);
  f_.CallerText();
  f_.server.Close();
  for (int i = 0; i < 200 && client().server_link.IsOpen(); ++i) {
    client().server_link.DataWaiting();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_FALSE(client().server_link.IsOpen());
  client().SendDueLines();
  client().RunSession();
  EXPECT_EQ(client().MsUntilNextSend(), -1);  // so the door need not wake for them
  const Shown shown = DecodeShown(f_.CallerText());
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[1], S("3 lines not sent"));
}

// A line that is not sent is not shown as sent; once the typing pauses one notice says how many
// were dropped.
TEST_F(PacingTest, AFullQueueDropsWithoutEchoAndCountsTheDropped) {
  Paste(0, 5 + static_cast<int>(SendPacer::kMaxQueued));
  f_.CallerText();
  Paste(100, 3);
  EXPECT_EQ(f_.CallerText(), "");
  client().ReportDroppedLines();
  EXPECT_EQ(DecodeShown(f_.CallerText()), Shown{S("Too many lines waiting to be sent; 3 lines dropped")});
  client().ReportDroppedLines();
  EXPECT_EQ(f_.CallerText(), "");
  clock().Advance(2000);
  client().SendDueLines();
  Paste(200, 2);  // one fits, one does not
  client().ReportDroppedLines();
  const Shown shown = DecodeShown(f_.CallerText());
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[0].find("line 200"), std::string::npos);
  EXPECT_EQ(shown[1], S("Too many lines waiting to be sent; 1 line dropped"));
  EXPECT_EQ(f_.SentUpToMarker().size(), 5u + 1u);
}

// A message too long for one line goes whole or not at all, with its echo and its /me and /msg
// forms alike.
TEST_F(PacingTest, AMessageOfSeveralLinesIsDroppedWhole) {
  Paste(0, 5 + static_cast<int>(SendPacer::kMaxQueued) - 1);  // room for one more line
  f_.CallerText();
  const std::string long_text(700, 'w');
  for (const std::string& typed : {long_text, "/me " + long_text, "/msg Bob " + long_text}) {
    SCOPED_TRACE(typed.substr(0, 10));
    client().ProcessInputLine(typed);
    EXPECT_EQ(f_.CallerText(), "");
  }
  client().ProcessInputLine("/ctcp Bob version");
  client().ProcessInputLine("/ctcp Bob ping");
  const Shown shown = DecodeShown(f_.CallerText());
  ASSERT_EQ(shown.size(), 1u);  // the first fitted
  client().ReportDroppedLines();
  EXPECT_EQ(DecodeShown(f_.CallerText()), Shown{S("Too many lines waiting to be sent; 7 lines dropped")});
}

}  // namespace
}  // namespace irc::traffic_test
