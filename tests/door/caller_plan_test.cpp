// The one decision of how the caller reaches the door: what start-up does, and whether the
// caller's bytes are on descriptors 0-2 (where the program must not open the sysop's terminal),
// always from the same plan.
#include "door/caller_plan.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace door {
namespace {

std::string Door32(int comm_type, int socket) {
  return std::to_string(comm_type) + "\r\n" + std::to_string(socket) +
         "\r\n38400\r\nTest BBS\r\n1\r\nJoe Smith\r\nWolf\r\n10\r\n30\r\n1\r\n4\r\n";
}

// The drop file as a test writes it: "" for none there, "-" for one there that cannot be read.
DropFileText DropFile(const std::string& text) {
  if (text.empty()) return {};
  if (text == "-") return {true, std::nullopt};
  return {true, text};
}

TEST(CallerPlanTest, StartAndStandardStreamsAgree) {
  const std::string none;
  const struct Case {
    std::vector<std::string> args;
    std::string drop_file;
    CallerStart start;
    HandOver hand_over;
    bool on_standard_streams;
    std::string message;
  } cases[] = {
      {{}, none, CallerStart::kLocal, HandOver::kNone, false, ""},
      {{"-?"}, none, CallerStart::kUsage, HandOver::kNone, false, ""},
      {{"-H1"}, none, CallerStart::kCaller, HandOver::kSocket, true, ""},
      {{"-H7", "-N3"}, none, CallerStart::kCaller, HandOver::kSocket, false, ""},
      {{"-S"}, none, CallerStart::kCaller, HandOver::kStdio, true, ""},
      {{"-P5000"}, none, CallerStart::kCaller, HandOver::kConnectPort, false, ""},
      // A caller on standard streams whose drop file is missing: the message goes to the console,
      // and still no terminal is opened on the caller's streams.
      {{"-S", "-D/bbs/DOOR32.SYS"},
       none,
       CallerStart::kEnd,
       HandOver::kStdio,
       true,
       "  DOOR32.SYS File Not Found"},
      {{"-D/bbs/DOOR32.SYS"}, Door32(2, 0), CallerStart::kCaller, HandOver::kSocket, true, ""},
      {{"-D/bbs/DOOR32.SYS"}, Door32(2, 9), CallerStart::kCaller, HandOver::kSocket, false, ""},
      {{"-D/bbs/DOOR32.SYS"}, Door32(0, 0), CallerStart::kNoCaller, HandOver::kSocket, false, ""},
      {{"-D/bbs/DOOR32.SYS"},
       Door32(1, 2),
       CallerStart::kEnd,
       HandOver::kSocket,
       true,
       "  No Carrier Detected"},
      {{"-D/bbs/DOOR32.SYS"},
       "x\r\n",
       CallerStart::kEnd,
       HandOver::kNone,
       false,
       "  DOOR32.SYS Is Not Valid"},
      {{"-D/bbs/door.sys"},
       Door32(2, 0),
       CallerStart::kEnd,
       HandOver::kNone,
       false,
       "  DOOR32.SYS File Not Found"},
      // There but unreadable (or no regular file): every default stays, a local visit.
      {{"-D/bbs/DOOR32.SYS"}, "-", CallerStart::kNoCaller, HandOver::kSocket, false, ""},
      // A bad number reaches the caller the rest of the line names, to tell them too.
      {{"-H1", "-Nx"}, none, CallerStart::kBadCommandLine, HandOver::kSocket, true, ""},
      {{"-Nx", "-D/bbs/DOOR32.SYS"},
       Door32(2, 5),
       CallerStart::kBadCommandLine,
       HandOver::kSocket,
       false,
       ""},
      {{"-Nx"}, none, CallerStart::kBadCommandLine, HandOver::kNone, false, ""},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& arg : c.args) shown += arg + " ";
    SCOPED_TRACE(shown);
    const CallerPlan plan = PlanCaller(ParseCommandLine(c.args), DropFile(c.drop_file), Visit{});
    EXPECT_EQ(plan.start, c.start);
    EXPECT_EQ(plan.hand_over, c.hand_over);
    EXPECT_EQ(plan.OnStandardStreams(), c.on_standard_streams);
    if (!c.message.empty()) {
      EXPECT_EQ(plan.message, c.message);
    }
  }
}

TEST(CallerPlanTest, TheDropFileTellsTheVisitAndTheOptionTheCaller) {
  const std::vector<std::string> args{"-U/run/bbs/node4", "-D/bbs/DOOR32.SYS", "-N2"};
  const CallerPlan plan = PlanCaller(ParseCommandLine(args), DropFile(Door32(2, 9)), Visit{});
  EXPECT_EQ(plan.start, CallerStart::kCaller);
  EXPECT_EQ(plan.hand_over, HandOver::kConnectPath);
  EXPECT_TRUE(plan.names_from_drop_file);
  EXPECT_EQ(plan.visit.user_handle, "Wolf");
  EXPECT_EQ(plan.visit.comm_type, CommType::kTelnet);
  EXPECT_EQ(plan.visit.node, 4);  // the drop file's node, read after the option's
}

}  // namespace
}  // namespace door
