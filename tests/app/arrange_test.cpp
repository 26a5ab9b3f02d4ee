#include "app/arrange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "fake_wait/fake_wait.h"
#include "support/sim_fixture.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using dptest::Cloned;
using dptest::SideBySide;
using dptest::Summary;

class ArrangeTest : public dptest::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    RecordedWaits().clear();
  }
  int Arrange() {
    std::vector<DisplayInfo> displays(2);  // stale content plays no part
    int active = 7;
    return ArrangeDisplays(displays, active);
  }
  std::vector<UINT32> SetFlags() {
    std::vector<UINT32> flags;
    for (const auto& c : Now().setCalls) flags.push_back(c.flags);
    return flags;
  }
};

// The virtual monitor primary at (0,0), the Dell wherever the case puts it.
sim::Machine TwoDisplays(int32_t otherX, int32_t otherY, bool virtualFirst = true) {
  sim::Machine m = SideBySide({{"TovikMonitor"}, {"DELL U2720Q", 2560, 1440}});
  m.sources[1].mode->x = otherX;
  m.sources[1].mode->y = otherY;
  if (!virtualFirst) std::swap(m.paths[0], m.paths[1]);
  return m;
}

TEST_F(ArrangeTest, AlreadyPrimaryTouchesNothing) {
  Use(TwoDisplays(1920, 0));
  EXPECT_EQ(Arrange(), 0);
  EXPECT_EQ(log_.Messages(),
            "Available displays (retry 1):\n"
            "[0] \\\\.\\DISPLAY1 TovikMonitor (1920x1080) [Active] [Primary]\n"
            "[1] \\\\.\\DISPLAY2 DELL U2720Q (2560x1440) [Active]\n"
            "Final available displays:\n"
            "[0] \\\\.\\DISPLAY1 TovikMonitor (0,0)(1920x1080) [Active] [Primary]\n"
            "[1] \\\\.\\DISPLAY2 DELL U2720Q (0,1920)(2560x1440) [Active]\n"
            "Target display \"TovikMonitor\" is already primary, no change.\n");
  EXPECT_TRUE(SetFlags().empty());
  EXPECT_TRUE(RecordedWaits().empty());
}

TEST_F(ArrangeTest, TargetListedSecondAlreadyPrimaryTouchesNothing) {
  // Listed second, at (0,0), the other directly to its right.
  Use(TwoDisplays(1920, 0, false));
  EXPECT_EQ(Arrange(), 0);
  EXPECT_THAT(log_.Messages(),
              HasSubstr("[1] \\\\.\\DISPLAY1 TovikMonitor (0,0)(1920x1080) [Active] [Primary]\n"
                        "Target display \"TovikMonitor\" is already primary, no change.\n"));
  EXPECT_TRUE(SetFlags().empty());
}

TEST_F(ArrangeTest, OfTwoMatchingRecordsTheFirstIsMadePrimary) {
  // The first listed right of the other, which is primary.
  sim::Machine m = SideBySide({{"TovikMonitor"}, {"TovikMonitor", 1280, 1024}});
  m.sources[0].mode->x = 1280;
  m.sources[1].mode->x = 0;
  Use(m);
  EXPECT_EQ(Arrange(), 0);
  EXPECT_THAT(log_.Messages(), HasSubstr("Primary display successfully set to index: 0\n"));
  EXPECT_EQ(*sim::PrimarySourceId(Now()), 0u) << Picture();
}

TEST_F(ArrangeTest, OtherDisplayBelowOrLeftIsRearranged) {
  struct Case {
    const char* name;
    sim::Machine machine;
  } cases[] = {
      {"below", TwoDisplays(0, 1080)},
      {"left", TwoDisplays(-2560, 0)},
      {"right but lower", TwoDisplays(1920, 200)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dptest::LogCapture log;
    Use(c.machine);
    EXPECT_EQ(Arrange(), 0) << log.Messages();
    EXPECT_THAT(log.Messages(),
                HasSubstr("Switching primary display to \"TovikMonitor\"...\n"
                          "Primary display successfully set to index: 0\n"
                          "Primary display successfully set to \"TovikMonitor\"\n"));
    EXPECT_EQ(SetFlags(), std::vector<UINT32>{dptest::kSdcSuppliedSaved});
    EXPECT_EQ(Summary(Now()), "1@DISPLAY1(0,0)1920 2@DISPLAY2(1920,0)2560 ") << Picture();
    EXPECT_TRUE(RecordedWaits().empty());
  }
}

TEST_F(ArrangeTest, TargetListedSecondIsHandedOverByItsListIndex) {
  // The physical display is primary and listed first; the virtual one sits right of it.
  Use(SideBySide({{"DELL U2720Q", 2560, 1440}, {"TovikMonitor"}}));
  EXPECT_EQ(Arrange(), 0);
  EXPECT_THAT(log_.Messages(), HasSubstr("Primary display successfully set to index: 1\n"));
  const sim::Machine after = Now();
  EXPECT_EQ(*sim::PrimarySourceId(after), 1u) << Picture();
  EXPECT_EQ(Summary(after), "2@DISPLAY2(0,0)1920 1@DISPLAY1(1920,0)2560 ");
  EXPECT_EQ(after.databaseSaves, 1u);
}

TEST_F(ArrangeTest, CloneIsEndedThenTheOldListingDecides) {
  Use(Cloned({{"TovikMonitor"}, {"DELL U2720Q"}}));
  EXPECT_EQ(Arrange(), 0);
  EXPECT_EQ(log_.Messages(),
            "Available displays (retry 1):\n"
            "[0] \\\\.\\DISPLAY1 TovikMonitor (1920x1080) [Active] [Primary]\n"
            "[1] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
            "is clone mode, forcing to Extend mode...\n"
            "[Info] Force Extend mode success.\n"
            "Final available displays:\n"
            "[0] \\\\.\\DISPLAY1 TovikMonitor (0,0)(1920x1080) [Active] [Primary]\n"
            "[1] \\\\.\\DISPLAY1 DELL U2720Q (0,0)(1920x1080) [Active] [Primary]\n"
            "Switching primary display to \"TovikMonitor\"...\n"
            "Primary display successfully set to index: 0\n"
            "Primary display successfully set to \"TovikMonitor\"\n");
  EXPECT_EQ(SetFlags(), (std::vector<UINT32>{dptest::kSdcExtend, dptest::kSdcSuppliedSaved}));
  EXPECT_TRUE(RecordedWaits().empty());
  // Two sources now, one for each display.
  EXPECT_EQ(Summary(Now()), "1@DISPLAY1(0,0)1920 2@DISPLAY2(1920,0)1920 ") << Picture();
}

TEST_F(ArrangeTest, TargetIsFoundByExactNameOrInTheDeviceName) {
  struct Case {
    const char* name;
    std::string monitor;
    std::string gdiName;
    bool found;
  } cases[] = {
      {"exact", "TovikMonitor", "\\\\.\\DISPLAY1", true},
      {"longer name", "TovikMonitor2", "\\\\.\\DISPLAY1", false},
      {"other case", "tovikmonitor", "\\\\.\\DISPLAY1", false},
      {"device name contains it", "Generic", "\\\\.\\TovikMonitorView", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dptest::LogCapture log;
    sim::Machine m = TwoDisplays(0, 1080);
    m.targets[0].name = c.monitor;
    m.sources[0].gdiName = c.gdiName;
    m.targets[1].name = "DELL U2720Q";
    Use(m);
    const int result = Arrange();
    if (c.found) {
      EXPECT_EQ(result, 0) << log.Messages();
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_THAT(log.Messages(), HasSubstr("ERROR: Target display \"TovikMonitor\" not found!\n"));
      EXPECT_TRUE(SetFlags().empty());
    }
  }
}

TEST_F(ArrangeTest, OneDisplayInEveryAttemptAborts) {
  Use(SideBySide({{"DELL U2720Q", 2560, 1440}}));
  EXPECT_EQ(Arrange(), -1);
  std::string expected;
  for (int attempt = 1; attempt <= 5; ++attempt) {
    expected += "Available displays (retry " + std::to_string(attempt) +
                "):\n"
                "[0] \\\\.\\DISPLAY1 DELL U2720Q (2560x1440) [Active] [Primary]\n"
                "only 1 display.\n"
                "[Info] Force Extend mode success.\n";
  }
  expected += "ERROR: After 5 retries, still detected inactive displays, abort.\n";
  EXPECT_EQ(log_.Messages(), expected);
  EXPECT_EQ(RecordedWaits(), (std::vector<DWORD>(5, 1000)));
  EXPECT_EQ(SetFlags(), (std::vector<UINT32>(5, dptest::kSdcExtend)));
}

TEST_F(ArrangeTest, VirtualMonitorThatAppearsLaterIsMadePrimary) {
  // The helper brings the monitor up while the loop waits: it appears after
  // the second extend request, as a clone of the physical display.
  sim::Machine m = SideBySide({{"DELL U2720Q", 2560, 1440}});
  m.sources.push_back(dptest::Idle(1));
  m.events = {dptest::Appears(dptest::Monitor(2, "TovikMonitor"), sim::Api::SetDisplayConfig, 2)};
  Use(m);

  EXPECT_EQ(Arrange(), 0) << log_.Messages();
  const std::string text = log_.Messages();
  EXPECT_THAT(text, HasSubstr("Available displays (retry 3):\n"));
  EXPECT_THAT(text, HasSubstr("is clone mode, forcing to Extend mode...\n"));
  EXPECT_EQ(RecordedWaits(), (std::vector<DWORD>{1000, 1000}));
  // Target 2 on the primary source.
  EXPECT_EQ(Summary(Now()), "2@DISPLAY2(0,0)1920 1@DISPLAY1(1920,0)2560 ") << Picture();
}

TEST_F(ArrangeTest, ThreeRecordsInALaterAttemptOnlyRetry) {
  Use(SideBySide({{"A"}, {"B"}, {"TovikMonitor"}}));
  EXPECT_EQ(Arrange(), -1);
  EXPECT_THAT(log_.Messages(), HasSubstr("only 3 display.\n"));
  EXPECT_THAT(log_.Messages(), Not(HasSubstr("too many monitor found.")));
  EXPECT_EQ(RecordedWaits().size(), 5u);
}

TEST_F(ArrangeTest, EnumerationFailureEndsTheLoopAtOnce) {
  for (uint32_t failingQuery : {1u, 2u}) {
    SCOPED_TRACE(failingQuery);
    dptest::LogCapture log;
    RecordedWaits().clear();
    sim::Machine m = SideBySide({{"DELL U2720Q", 2560, 1440}});
    m.faults = {{sim::Api::QueryDisplayConfig, failingQuery, ERROR_GEN_FAILURE}};
    Use(m);
    EXPECT_EQ(Arrange(), -1);
    EXPECT_THAT(
        log.Messages(),
        ::testing::EndsWith("Failed to query display config.\nEnumerateDisplays failed.\n"));
    EXPECT_EQ(RecordedWaits().size(), failingQuery - 1);
  }
}

TEST_F(ArrangeTest, NoListedDisplayWaitsAndTriesAgain) {
  sim::Machine m = SideBySide({{"Unplugged"}});
  m.targets[0].available = false;
  Use(m);
  EXPECT_EQ(Arrange(), -1);
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += "No available displays found.\n";
  expected += "ERROR: After 5 retries, still detected inactive displays, abort.\n";
  EXPECT_EQ(log_.Messages(), expected);
  EXPECT_EQ(RecordedWaits(), (std::vector<DWORD>(5, 1000)));
  EXPECT_TRUE(SetFlags().empty());
}

TEST_F(ArrangeTest, ExtendFailureIsFatalOnlyForInactiveDisplays) {
  // One display, every extend fails: logged, waited, retried.
  sim::Machine one = SideBySide({{"DELL U2720Q", 2560, 1440}});
  one.faults = {{sim::Api::SetDisplayConfig, 0, ERROR_GEN_FAILURE}};
  Use(one);
  EXPECT_EQ(Arrange(), -1);
  EXPECT_THAT(log_.Messages(),
              HasSubstr("only 1 display.\nSetDisplayConfig (ForceExtendMode) failed: 31\n"
                        "ForceExtendMode failed!\n"));
  EXPECT_EQ(RecordedWaits().size(), 5u);

  // Clone, extend fails: logged, and the same attempt goes on to the final phase.
  dptest::LogCapture clone;
  RecordedWaits().clear();
  sim::Machine m = Cloned({{"TovikMonitor"}, {"DELL U2720Q"}});
  m.faults = {{sim::Api::SetDisplayConfig, 1, ERROR_GEN_FAILURE}};
  Use(m);
  Arrange();
  EXPECT_THAT(clone.Messages(), HasSubstr("is clone mode, forcing to Extend mode...\n"
                                          "SetDisplayConfig (ForceExtendMode) failed: 31\n"
                                          "ForceExtendMode failed!\n"
                                          "Final available displays:\n"));
  EXPECT_TRUE(RecordedWaits().empty());
}

TEST_F(ArrangeTest, ADisplayThatLostItsPathIsSwitchedOnThenArranged) {
  // The Dell keeps an inactive path to its old source. Windows answers such a
  // path without modes, so the listing leaves it out and the loop sees one
  // display; the extend request gives the Dell its source back. A listed
  // record that is not active (the loop's "Detected inactive displays"
  // branch, whose failing extend ends the loop) is a state Windows cannot
  // produce: every path the listing keeps has a source mode, and only
  // active paths have one.
  sim::Machine m = SideBySide({{"TovikMonitor"}, {"DELL U2720Q"}});
  m.paths[1].active = false;
  m.sources[1].mode.reset();
  Use(m);
  EXPECT_EQ(Arrange(), 0) << log_.Messages();
  EXPECT_EQ(log_.Messages(),
            "Available displays (retry 1):\n"
            "[0] \\\\.\\DISPLAY1 TovikMonitor (1920x1080) [Active] [Primary]\n"
            "only 1 display.\n"
            "[Info] Force Extend mode success.\n"
            "Available displays (retry 2):\n"
            "[0] \\\\.\\DISPLAY1 TovikMonitor (1920x1080) [Active] [Primary]\n"
            "[1] \\\\.\\DISPLAY2 DELL U2720Q (1920x1080) [Active]\n"
            "Final available displays:\n"
            "[0] \\\\.\\DISPLAY1 TovikMonitor (0,0)(1920x1080) [Active] [Primary]\n"
            "[1] \\\\.\\DISPLAY2 DELL U2720Q (0,1920)(1920x1080) [Active]\n"
            "Target display \"TovikMonitor\" is already primary, no change.\n");
  EXPECT_EQ(RecordedWaits(), std::vector<DWORD>{1000});
  EXPECT_EQ(SetFlags(), std::vector<UINT32>{dptest::kSdcExtend});
}

TEST_F(ArrangeTest, FailedPrimaryChangeIsReported) {
  sim::Machine m = TwoDisplays(0, 1080);
  m.faults = {{sim::Api::SetDisplayConfig, 1, ERROR_GEN_FAILURE}};
  Use(m);
  EXPECT_EQ(Arrange(), -1);
  EXPECT_THAT(log_.Messages(), HasSubstr("Failed to set primary display.\n"));
  EXPECT_THAT(log_.Messages(), ::testing::EndsWith("Failed to set primary display!\n"));
}

}  // namespace
