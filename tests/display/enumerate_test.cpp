#include "display/enumerate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "support/text.h"

namespace {

using ::testing::ElementsAre;

using dptest::Cloned;
using dptest::Idle;
using dptest::Monitor;
using dptest::Shown;
using dptest::SideBySide;

class EnumerateTest : public dptest::SimTest {
 protected:
  std::vector<DisplayInfo> List() {
    std::vector<DisplayInfo> displays;
    active_ = -1;
    EXPECT_TRUE(EnumerateDisplays(displays, active_)) << log_.Messages();
    return displays;
  }
  int active_ = -1;
};

// Each record in one line: path index, device, monitor, size, position, then
// "active" and "primary" where set.
std::vector<std::string> Rows(const std::vector<DisplayInfo>& displays) {
  std::vector<std::string> rows;
  for (const DisplayInfo& d : displays) {
    rows.push_back(std::to_string(d.pathIndex) + " " + dptest::WideToAnsi(d.deviceName) + " " +
                   dptest::WideToAnsi(d.monitorName) + " " + std::to_string(d.width) + "x" +
                   std::to_string(d.height) + " (" + std::to_string(d.positionX) + "," +
                   std::to_string(d.positionY) + ")" + (d.isActive ? " active" : "") +
                   (d.isPrimary ? " primary" : ""));
  }
  return rows;
}

TEST_F(EnumerateTest, OneDisplayFillsEveryField) {
  sim::Machine m = SideBySide({{"DELL U2720Q", 2560, 1440, 256}}, 1);
  m.adapter = LUID{0x1234, 7};
  Use(m);

  const auto d = List();
  EXPECT_THAT(Rows(d), ElementsAre("0 \\\\.\\DISPLAY1 DELL U2720Q 2560x1440 (0,0) active primary"));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].adapterId.LowPart, 0x1234u);
  EXPECT_EQ(d[0].adapterId.HighPart, 7);
  EXPECT_EQ(d[0].sourceId, 0u);
  EXPECT_EQ(active_, 1);
  EXPECT_EQ(log_.Messages(), "");
}

TEST_F(EnumerateTest, CloneGivesTwoRecordsOnOneSource) {
  Use(Cloned({{"Left"}, {"Right"}}));
  EXPECT_THAT(Rows(List()), ElementsAre("0 \\\\.\\DISPLAY1 Left 1920x1080 (0,0) active primary",
                                        "1 \\\\.\\DISPLAY1 Right 1920x1080 (0,0) active primary"))
      << Picture();
  EXPECT_EQ(active_, 2);
}

TEST_F(EnumerateTest, WhichPathsBecomeRecords) {
  struct Case {
    const char* name;
    sim::Machine machine;
    std::vector<std::string> records;  // path index:monitor, in order
  };
  // A connected target that shows nothing appears only in inactive
  // combinations, which carry no source mode.
  sim::Machine dark = SideBySide({{"A"}}, 1);
  dark.targets.push_back(Monitor(2, "Dark"));
  // A path to a target with nothing plugged in is passed over.
  sim::Machine unplugged = SideBySide({{"Gone"}, {"Here"}});
  unplugged.targets[0].available = false;
  const Case cases[] = {
      // Extend: two sources; the inactive combinations that follow are skipped.
      {"extend", SideBySide({{"A"}, {"B", 1280, 1024}}), {"0:A", "1:B"}},
      {"inactive target", dark, {"0:A"}},
      // Each target on several paths, as Windows lists it: its active path and
      // its combinations with the other sources. The active one, first in
      // query order, makes the record.
      {"same target on several paths",
       SideBySide({{"Twice"}, {"Other", 800, 600}}, 1),
       {"0:Twice", "1:Other"}},
      {"unavailable target", unplugged, {"1:Here"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Use(c.machine);
    std::vector<std::string> records;
    for (const DisplayInfo& d : List())
      records.push_back(std::to_string(d.pathIndex) + ":" + dptest::WideToAnsi(d.monitorName));
    EXPECT_EQ(records, c.records) << Picture();
  }
}

TEST_F(EnumerateTest, SourceModeThatCannotBeUsedLeavesSizeAndPositionEmpty) {
  // Mode array of a one-path machine: [0] source mode, [1] target mode.
  struct Case {
    const char* name;
    uint32_t index;
  } cases[] = {
      {"out of range", 9}, {"exactly the mode count", 2}, {"points at the target mode", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    sim::Machine m = SideBySide({{"Odd"}});
    m.paths[0].sourceModeIdx = c.index;
    Use(m);
    // No usable mode: not primary although it reads (0,0).
    EXPECT_THAT(Rows(List()), ElementsAre("0 \\\\.\\DISPLAY1 Odd 0x0 (0,0) active"));
  }
}

TEST_F(EnumerateTest, AnInactivePathIsNotListed) {
  // Windows answers an inactive path with invalid mode indexes, so the
  // listing skips it: every record it makes is active, and a record with
  // isActive false (counted apart from the others) cannot come from Windows.
  sim::Machine m = SideBySide({{"On"}, {"Off"}});
  m.paths[1].active = false;
  m.sources[1].mode.reset();
  Use(m);
  EXPECT_THAT(Rows(List()), ElementsAre("0 \\\\.\\DISPLAY1 On 1920x1080 (0,0) active primary"))
      << Picture();
  EXPECT_EQ(active_, 1);
}

TEST_F(EnumerateTest, PrimaryOnlyAtTheOrigin) {
  sim::Machine m = SideBySide({{"A", 640, 480}, {"B", 640, 480}, {"C", 640, 480}});
  m.sources = {Shown(0, 640, 480, 5, 0), Shown(1, 640, 480, 0, 5), Shown(2, 640, 480, 0, 0)};
  Use(m);
  // The vertical coordinate is kept apart from the horizontal one.
  EXPECT_THAT(Rows(List()), ElementsAre("0 \\\\.\\DISPLAY1 A 640x480 (5,0) active",
                                        "1 \\\\.\\DISPLAY2 B 640x480 (0,5) active",
                                        "2 \\\\.\\DISPLAY3 C 640x480 (0,0) active primary"));
}

TEST_F(EnumerateTest, FailedNameRequestGivesAnEmptyNameSilently) {
  sim::Machine m = SideBySide({{"Hidden"}});
  m.targets[0].nameError = ERROR_GEN_FAILURE;
  Use(m);
  EXPECT_THAT(Rows(List()), ElementsAre("0 \\\\.\\DISPLAY1  1920x1080 (0,0) active primary"));
  EXPECT_EQ(log_.Messages(), "");
}

TEST_F(EnumerateTest, FailuresLogTheirReasonAndLeaveTheCallerAlone) {
  struct Case {
    const char* name;
    sim::Machine machine;
    std::string message;
  };
  const sim::Machine one = SideBySide({{"A"}});
  sim::Machine sizesFail = one;
  sizesFail.faults = {{sim::Api::GetDisplayConfigBufferSizes, 1, ERROR_ACCESS_DENIED}};
  sim::Machine queryFails = one;
  queryFails.faults = {{sim::Api::QueryDisplayConfig, 1, ERROR_GEN_FAILURE}};
  sim::Machine empty;
  sim::Machine dark;  // a connected monitor on no path: paths listed, no mode at all
  dark.targets = {Monitor(1, "Dark")};
  dark.sources = {Idle(0)};

  const Case cases[] = {
      {"sizes fail", sizesFail, "Failed to get display config buffer sizes.\n"},
      {"query fails", queryFails, "Failed to query display config.\n"},
      {"no paths", empty, "No displays detected.\n"},
      {"no modes", dark, "No displays detected.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dptest::LogCapture log;
    Use(c.machine);
    std::vector<DisplayInfo> displays(1);
    displays[0].monitorName = L"kept";
    int active = 42;
    EXPECT_FALSE(EnumerateDisplays(displays, active));
    EXPECT_EQ(log.Messages(), c.message);
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(displays[0].monitorName, L"kept");
    EXPECT_EQ(active, 42);
  }
}

TEST_F(EnumerateTest, DisplayAppearingBetweenSizesAndQueryIsListed) {
  // No scripted fault: the query itself finds arrays too small for the grown
  // configuration, as Windows does.
  sim::Machine m = SideBySide({{"DELL U2720Q", 2560, 1440}}, 1);
  m.events = {
      dptest::Appears(Monitor(2, "TovikMonitor"), sim::Api::GetDisplayConfigBufferSizes, 1)};
  Use(m);
  const auto d = List();
  ASSERT_EQ(d.size(), 2u);
  EXPECT_EQ(d[1].monitorName, L"TovikMonitor");
  EXPECT_EQ(active_, 2);
  EXPECT_EQ(Now().CallCount(sim::Api::QueryDisplayConfig), 2u);
}

TEST_F(EnumerateTest, AppendsAfterExistingRecordsAndCountsOnlyItsOwn) {
  Use(SideBySide({{"A"}, {"B"}}));
  std::vector<DisplayInfo> displays(3);
  displays[2].isActive = true;
  int active = 9;
  ASSERT_TRUE(EnumerateDisplays(displays, active));
  ASSERT_EQ(displays.size(), 5u);
  EXPECT_EQ(displays[3].monitorName, L"A");
  EXPECT_EQ(displays[4].monitorName, L"B");
  EXPECT_EQ(active, 2);
}

TEST_F(EnumerateTest, NothingQualifyingIsStillASuccess) {
  sim::Machine m = SideBySide({{"Gone"}});
  m.targets[0].available = false;
  Use(m);
  const auto d = List();
  EXPECT_TRUE(d.empty());
  EXPECT_EQ(active_, 0);
}

}  // namespace
