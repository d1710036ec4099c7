// The conversation targets on their own: finding a name under the server's case mapping, Ctrl-X's
// round of the channels, and where the active target goes when a channel leaves.
#include "irc/client/targets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "irc/protocol/isupport.h"
#include "irc/targets_state.h"

namespace irc {
namespace {

using Names = std::vector<std::string>;

TEST(Targets, StatusAloneAndActiveAtFirstAndAfterReset) {
  ServerSupport support;
  Targets targets(support);
  EXPECT_EQ(targets.names(), Names{"Status"});
  EXPECT_TRUE(targets.StatusActive());
  SetTargets(targets, {"Status", "#a", "#b"}, 2);
  EXPECT_EQ(targets.ActiveName(), "#b");
  targets.Reset();
  EXPECT_EQ(targets.names(), Names{"Status"});
  EXPECT_EQ(targets.active(), 0);
}

TEST(Targets, FindTakesTheFirstUnderTheServersCaseMapping) {
  ServerSupport support;
  Targets targets(support);
  SetTargets(targets, {"Status", "#Chat", "#help", "#chat", "#a[1]"}, 0);
  EXPECT_EQ(targets.Find("#CHAT"), 1);
  EXPECT_EQ(targets.Find("#help"), 2);
  EXPECT_EQ(targets.Find("status"), 0);
  EXPECT_EQ(targets.Find("#none"), -1);
  EXPECT_EQ(targets.Find("#A{1}"), -1);  // not the same under ASCII rules
  // The mapping is read at every comparison: what the server announces later counts.
  support.casemapping = CaseMapping::kRfc1459;
  EXPECT_EQ(targets.Find("#A{1}"), 4);
}

TEST(Targets, AddAppendsAndActivatesTheFirstOfItsName) {
  ServerSupport support;
  Targets targets(support);
  targets.Add("#Chat");
  targets.Add("#other");
  EXPECT_EQ(targets.active(), 2);
  targets.Add("#chat");
  EXPECT_EQ(targets.names(), (Names{"Status", "#Chat", "#other", "#chat"}));
  EXPECT_EQ(targets.active(), 1);
  targets.Activate(4);  // outside the list: ignored
  EXPECT_EQ(targets.active(), 1);
  targets.Activate(-1);
  EXPECT_EQ(targets.active(), 1);
}

TEST(Targets, NextCyclesTheChannelsOnly) {
  struct Case {
    Names names;
    int active;
    bool changed;
    int after;
  };
  const Case cases[] = {
      {{"Status"}, 0, false, 0},
      {{"Status", "#a"}, 0, true, 1},
      {{"Status", "#a"}, 1, true, 1},
      {{"Status", "#a", "#b", "#c"}, 3, true, 1},
      {{"Status", "#a", "#b", "#c"}, 1, true, 2},
      {{"Status", "#a", "#b", "#c"}, 0, true, 1},
  };
  ServerSupport support;
  Targets targets(support);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.names.size() << " targets, active " << c.active);
    SetTargets(targets, c.names, c.active);
    EXPECT_EQ(targets.Next(), c.changed);
    EXPECT_EQ(targets.active(), c.after);
  }
}

TEST(Targets, LeaveKeepsTheActiveTargetOrMovesToTheNext) {
  struct Case {
    Names names;
    int active;
    std::string leaving;
    Targets::Left left;
    Names after;
    int active_after;
  };
  const Names abc = {"Status", "#a", "#b", "#c"};
  using Left = Targets::Left;
  const Case cases[] = {
      // The active one leaves: the one after it (round the channels) becomes active.
      {abc, 1, "#a", Left::kActive, {"Status", "#b", "#c"}, 2},
      {abc, 2, "#b", Left::kActive, {"Status", "#a", "#c"}, 1},
      {abc, 3, "#c", Left::kActive, {"Status", "#a", "#b"}, 1},
      {{"Status", "#a"}, 1, "#a", Left::kActive, {"Status"}, 0},
      // An earlier one leaves: the same target stays active.
      {abc, 3, "#a", Left::kOther, {"Status", "#b", "#c"}, 2},
      {abc, 2, "#a", Left::kOther, {"Status", "#b", "#c"}, 1},
      // A later one: the index stays.
      {abc, 1, "#c", Left::kOther, {"Status", "#a", "#b"}, 1},
      {abc, 0, "#b", Left::kOther, {"Status", "#a", "#c"}, 0},
      // The first of two equal names goes, found without regard to case.
      {{"Status", "#a", "#b", "#A"}, 2, "#A", Left::kOther, {"Status", "#b", "#A"}, 1},
      // Nothing of that name, and never Status.
      {abc, 2, "#zz", Left::kNotFound, abc, 2},
      {abc, 0, "status", Left::kNotFound, abc, 0},
  };
  ServerSupport support;
  Targets targets(support);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.leaving << " leaving, active " << c.active);
    SetTargets(targets, c.names, c.active);
    EXPECT_EQ(targets.Leave(c.leaving), c.left);
    EXPECT_EQ(targets.names(), c.after);
    EXPECT_EQ(targets.active(), c.active_after);
  }
}

}  // namespace
}  // namespace irc
