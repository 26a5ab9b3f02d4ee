#include "display/enumerate.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/sim_fixture.h"

namespace {

using dptest::Cloned;
using dptest::Idle;
using dptest::Monitor;
using dptest::Shown;
using dptest::SideBySide;

class EnumerateTest : public dptest::SimTest {
 protected:
  std::vector<DisplayInfo> List(bool expectOk = true) {
    std::vector<DisplayInfo> displays;
    int active = -1;
    EXPECT_EQ(EnumerateDisplays(displays, active), expectOk) << log_.Messages();
    active_ = active;
    return displays;
  }
  int active_ = -1;
};

TEST_F(EnumerateTest, OneDisplayFillsEveryField) {
  sim::Machine m = SideBySide({{"DELL U2720Q", 2560, 1440, 256}}, 1);
  m.adapter = LUID{0x1234, 7};
  Use(m);

  const auto displays = List();
  ASSERT_EQ(displays.size(), 1u);
  const DisplayInfo& d = displays[0];
  EXPECT_EQ(d.pathIndex, 0u);
  EXPECT_EQ(d.deviceName, L"\\\\.\\DISPLAY1");
  EXPECT_EQ(d.monitorName, L"DELL U2720Q");
  EXPECT_EQ(d.adapterId.LowPart, 0x1234u);
  EXPECT_EQ(d.adapterId.HighPart, 7);
  EXPECT_EQ(d.sourceId, 0u);
  EXPECT_TRUE(d.isActive);
  EXPECT_EQ(d.width, 2560u);
  EXPECT_EQ(d.height, 1440u);
  EXPECT_TRUE(d.isPrimary);
  EXPECT_EQ(d.positionX, 0);
  EXPECT_EQ(d.positionY, 0);
  EXPECT_EQ(active_, 1);
  EXPECT_EQ(log_.Messages(), "");
}

TEST_F(EnumerateTest, CloneGivesTwoRecordsOnOneSource) {
  Use(Cloned({{"Left"}, {"Right"}}));
  const auto d = List();
  ASSERT_EQ(d.size(), 2u) << Picture();
  EXPECT_EQ(d[0].monitorName, L"Left");
  EXPECT_EQ(d[1].monitorName, L"Right");
  for (const DisplayInfo& r : d) {
    EXPECT_EQ(r.deviceName, L"\\\\.\\DISPLAY1");
    EXPECT_EQ(r.width, 1920u);
    EXPECT_TRUE(r.isPrimary);
  }
  EXPECT_EQ(d[0].positionX, d[1].positionX);
  EXPECT_EQ(active_, 2);
}

TEST_F(EnumerateTest, WhichPathsBecomeRecords) {
  struct Case {
    const char* name;
    sim::Machine machine;
    std::vector<std::wstring> monitors;  // expected, in order
    std::vector<uint32_t> pathIndexes;
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
      {"extend", SideBySide({{"A"}, {"B", 1280, 1024}}), {L"A", L"B"}, {0, 1}},
      {"inactive target", dark, {L"A"}, {0}},
      // Each target on several paths, as Windows lists it: its active path and
      // its combinations with the other sources. The active one, first in
      // query order, makes the record.
      {"same target on several paths",
       SideBySide({{"Twice"}, {"Other", 800, 600}}, 1),
       {L"Twice", L"Other"},
       {0, 1}},
      {"unavailable target", unplugged, {L"Here"}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Use(c.machine);
    const auto d = List();
    ASSERT_EQ(d.size(), c.monitors.size()) << Picture();
    for (std::size_t i = 0; i < d.size(); ++i) {
      EXPECT_EQ(d[i].monitorName, c.monitors[i]);
      EXPECT_EQ(d[i].pathIndex, c.pathIndexes[i]);
    }
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
    const auto d = List();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0].width, 0u);
    EXPECT_EQ(d[0].height, 0u);
    EXPECT_EQ(d[0].positionX, 0);
    EXPECT_EQ(d[0].positionY, 0);
    EXPECT_FALSE(d[0].isPrimary) << "no usable mode: not primary although it reads (0,0)";
    EXPECT_TRUE(d[0].isActive);
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
  const auto d = List();
  ASSERT_EQ(d.size(), 1u) << Picture();
  EXPECT_EQ(d[0].monitorName, L"On");
  EXPECT_TRUE(d[0].isActive);
  EXPECT_EQ(active_, 1);
}

TEST_F(EnumerateTest, PrimaryOnlyAtTheOrigin) {
  sim::Machine m = SideBySide({{"A", 640, 480}, {"B", 640, 480}, {"C", 640, 480}});
  m.sources = {Shown(0, 640, 480, 5, 0), Shown(1, 640, 480, 0, 5), Shown(2, 640, 480, 0, 0)};
  Use(m);
  const auto d = List();
  ASSERT_EQ(d.size(), 3u);
  EXPECT_FALSE(d[0].isPrimary);
  EXPECT_FALSE(d[1].isPrimary);
  EXPECT_TRUE(d[2].isPrimary);
  // The vertical coordinate is kept apart from the horizontal one.
  EXPECT_EQ(d[0].positionX, 5);
  EXPECT_EQ(d[0].positionY, 0);
  EXPECT_EQ(d[1].positionX, 0);
  EXPECT_EQ(d[1].positionY, 5);
}

TEST_F(EnumerateTest, FailedNameRequestGivesAnEmptyNameSilently) {
  sim::Machine m = SideBySide({{"Hidden"}});
  m.targets[0].nameError = ERROR_GEN_FAILURE;
  Use(m);
  const auto d = List();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].monitorName, L"");
  EXPECT_EQ(d[0].deviceName, L"\\\\.\\DISPLAY1");
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
  const auto d = List(true);
  EXPECT_TRUE(d.empty());
  EXPECT_EQ(active_, 0);
}

}  // namespace
