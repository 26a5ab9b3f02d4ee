#include "display/topology.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "support/text.h"

namespace {

using dptest::Link;
using dptest::Monitor;
using dptest::Shown;
using dptest::SideBySide;

// The machine the row tests start from: three active displays, queried in
// the order first (1920 wide), second (1280), third (800).
sim::Machine ThreeDisplays(int32_t secondX, int32_t secondY, int32_t thirdX, int32_t thirdY) {
  sim::Machine m = SideBySide({{"First"}, {"Second", 1280, 1024}, {"Third", 800, 600}});
  m.sources[1] = Shown(1, 1280, 1024, secondX, secondY);
  m.sources[2] = Shown(2, 800, 600, thirdX, thirdY);
  return m;
}

// Source position given to SetDisplayConfig for the path whose source is `id`.
POINTL PositionGiven(const sim::RecordedSetCall& call, uint32_t sourceId) {
  for (const auto& path : call.paths) {
    if (path.sourceInfo.id != sourceId) continue;
    const UINT32 m = path.sourceInfo.modeInfoIdx;
    if (m < call.modes.size()) return call.modes[m].sourceMode.position;
  }
  ADD_FAILURE() << "no source mode for source " << sourceId;
  return {};
}

std::vector<uint32_t> TargetOrder(const sim::RecordedSetCall& call) {
  std::vector<uint32_t> ids;
  for (const auto& path : call.paths) ids.push_back(path.targetInfo.id);
  return ids;
}

class TopologyTest : public dptest::SimTest {};

TEST_F(TopologyTest, ForceExtendModeAsksForTheExtendTopology) {
  Use(dptest::Cloned({{"A"}, {"B"}}));
  EXPECT_TRUE(ForceExtendMode());
  EXPECT_EQ(log_.Messages(), "[Info] Force Extend mode success.\n");
  const sim::Machine after = Now();
  ASSERT_EQ(after.setCalls.size(), 1u);
  EXPECT_EQ(after.setCalls[0].flags, dptest::kSdcExtend);
  EXPECT_EQ(after.setCalls[0].numPathArrayElements, 0u);
  EXPECT_EQ(after.setCalls[0].numModeInfoArrayElements, 0u);
  // A source for each display now.
  EXPECT_EQ(dptest::Summary(after), "1@DISPLAY1(0,0)1920 2@DISPLAY2(1920,0)1920 ") << Picture();
}

TEST_F(TopologyTest, ForceExtendModeFailureShowsTheCode) {
  sim::Machine m = SideBySide({{"A"}});
  m.faults = {{sim::Api::SetDisplayConfig, 1, ERROR_GEN_FAILURE}};
  Use(m);
  EXPECT_FALSE(ForceExtendMode());
  EXPECT_EQ(log_.Messages(), "SetDisplayConfig (ForceExtendMode) failed: 31\n");
}

TEST_F(TopologyTest, ChosenDisplayGoesFirstAndOthersFollowInARow) {
  struct Case {
    const char* name;
    sim::Machine machine;
    int index;
    std::vector<uint32_t> order;   // target ids handed to the system
    LONG firstX, secondX, thirdX;  // resulting x of sources 0, 1, 2
  } cases[] = {
      {"index 1", ThreeDisplays(1920, 0, 3200, 0), 1, {2, 1, 3}, 1280, 0, 1280 + 1920},
      {"index 0", ThreeDisplays(1920, 0, 3200, 0), 0, {1, 2, 3}, 0, 1920, 1920 + 1280},
      {"stacked", ThreeDisplays(0, 1080, 0, 2104), 0, {1, 2, 3}, 0, 1920, 3200},
      {"left and above", ThreeDisplays(-1280, -200, 1920, 300), 2, {3, 1, 2}, 800, 2720, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dptest::LogCapture log;
    Use(c.machine);
    ASSERT_TRUE(SetPrimaryDisplay(c.index)) << log.Messages() << Picture();
    EXPECT_EQ(log.Messages(),
              "Primary display successfully set to index: " + std::to_string(c.index) + "\n");

    const sim::Machine after = Now();
    ASSERT_EQ(after.setCalls.size(), 1u);
    const sim::RecordedSetCall& call = after.setCalls[0];
    EXPECT_EQ(call.flags, dptest::kSdcSuppliedSaved);
    EXPECT_EQ(TargetOrder(call), c.order);
    EXPECT_EQ(PositionGiven(call, 0).x, c.firstX);
    EXPECT_EQ(PositionGiven(call, 1).x, c.secondX);
    EXPECT_EQ(PositionGiven(call, 2).x, c.thirdX);
    for (uint32_t s = 0; s < 3; ++s) EXPECT_EQ(PositionGiven(call, s).y, 0);
    // Only positions change: sizes go back as they were queried.
    EXPECT_EQ(call.modes[call.paths[0].sourceInfo.modeInfoIdx].sourceMode.width,
              c.machine.sources[c.order[0] - 1].mode->width);
    EXPECT_EQ(after.databaseSaves, 1u);
    EXPECT_EQ(sim::PrimarySourceId(after), std::optional<uint32_t>(c.order[0] - 1)) << Picture();
  }
}

TEST_F(TopologyTest, IndexOutsideTheActivePathsChangesNothing) {
  for (int index : {-1, 3, 100}) {
    SCOPED_TRACE(index);
    dptest::LogCapture log;
    Use(ThreeDisplays(1920, 0, 3200, 0));
    EXPECT_FALSE(SetPrimaryDisplay(index));
    EXPECT_EQ(log.Messages(), "Invalid display index.\n");
    EXPECT_TRUE(Now().setCalls.empty());
  }
}

TEST_F(TopologyTest, PathsWithoutAUsableSourceModeArePassedButNotMoved) {
  // One-display machine mode array: [0] source of path 0, [1] target of
  // path 0, [2] source of path 1, [3] target of path 1.
  struct Case {
    const char* name;
    uint32_t index;
  } cases[] = {
      {"invalid", DISPLAYCONFIG_PATH_MODE_IDX_INVALID}, {"out of range", 40}, {"a target mode", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dptest::LogCapture log;
    sim::Machine m = SideBySide({{"A"}, {"B", 1280, 1024}});
    m.paths[0].sourceModeIdx = c.index;  // path 0 loses its source mode
    Use(m);
    SetPrimaryDisplay(0);
    const sim::Machine after = Now();
    ASSERT_EQ(after.setCalls.size(), 1u) << log.Messages();
    const sim::RecordedSetCall& call = after.setCalls[0];
    ASSERT_EQ(call.paths.size(), 2u);
    EXPECT_EQ(call.paths[0].sourceInfo.modeInfoIdx, c.index) << "passed as queried";
    // Path 0 adds no width: path 1's source starts the row.
    const UINT32 second = call.paths[1].sourceInfo.modeInfoIdx;
    ASSERT_LT(second, call.modes.size());
    EXPECT_EQ(call.modes[second].sourceMode.position.x, 0);
    EXPECT_EQ(call.modes[1].infoType, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET);
  }
}

TEST_F(TopologyTest, ClonedSourceIsPlacedOnce) {
  // Both targets show source 0, the third display stands apart. The shared
  // source must stay at (0,0) and count its width once.
  sim::Machine m;
  m.targets = {Monitor(1, "A"), Monitor(2, "B"), Monitor(3, "C")};
  m.sources = {Shown(0, 1920, 1080, 0, 0), Shown(1, 1280, 1024, 1920, 0)};
  m.paths = {Link(0, 1), Link(0, 2), Link(1, 3)};
  Use(m);
  ASSERT_TRUE(SetPrimaryDisplay(0)) << log_.Messages();
  const sim::RecordedSetCall call = Now().setCalls.at(0);
  EXPECT_EQ(PositionGiven(call, 0).x, 0);
  EXPECT_EQ(PositionGiven(call, 1).x, 1920);
}

TEST_F(TopologyTest, QueryFailuresAreReported) {
  struct Case {
    sim::Api api;
    std::string message;
  } cases[] = {
      {sim::Api::GetDisplayConfigBufferSizes, "Failed to get display config buffer sizes.\n"},
      {sim::Api::QueryDisplayConfig, "Failed to query display config.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    dptest::LogCapture log;
    sim::Machine m = ThreeDisplays(1920, 0, 3200, 0);
    m.faults = {{c.api, 1, ERROR_GEN_FAILURE}};
    Use(m);
    EXPECT_FALSE(SetPrimaryDisplay(0));
    EXPECT_EQ(log.Messages(), c.message);
    EXPECT_TRUE(Now().setCalls.empty());
  }
}

TEST_F(TopologyTest, RejectedLayoutLogsTheSystemText) {
  sim::Machine m = ThreeDisplays(1920, 0, 3200, 0);
  m.faults = {{sim::Api::SetDisplayConfig, 1, ERROR_INVALID_PARAMETER}};
  Use(m);
  EXPECT_FALSE(SetPrimaryDisplay(1));
  const std::string text = dptest::SystemText(ERROR_INVALID_PARAMETER);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(log_.Messages(), "Failed to set primary display.\nError 87: " + text + "\n");
}

TEST_F(TopologyTest, TargetNamesTheDisplayWhereverItStandsNow) {
  // An index from an older listing: path 0 is "First" now, but the caller
  // means "Third"; the target decides, and the log shows where it stood.
  Use(ThreeDisplays(1920, 0, 3200, 0));
  const sim::Machine m = Now();
  const TargetKey third{m.adapter, 3};
  EXPECT_TRUE(SetPrimaryDisplay(0, &third));
  EXPECT_EQ(log_.Messages(), "Primary display successfully set to index: 2\n");
  const sim::Machine after = Now();
  ASSERT_EQ(after.setCalls.size(), 1u);
  EXPECT_EQ(TargetOrder(after.setCalls[0]), (std::vector<uint32_t>{3, 1, 2}));

  // A target no longer shown by any active path: nothing is changed.
  dptest::LogCapture log;
  const TargetKey gone{m.adapter, 99};
  EXPECT_FALSE(SetPrimaryDisplay(0, &gone));
  EXPECT_EQ(log.Messages(), "Invalid display index.\n");
  EXPECT_EQ(Now().setCalls.size(), 1u);
}

TEST_F(TopologyTest, NoActivePathIsAFailedQuery) {
  // The sizes call answers 0 active paths; the query asked with those zero
  // counts is refused with ERROR_INVALID_PARAMETER, as Windows refuses it
  // (contract row Q5).
  sim::Machine m = SideBySide({{"A"}});
  m.paths[0].active = false;  // the monitor lost its path: no source mode left
  m.sources[0].mode.reset();
  Use(m);
  EXPECT_FALSE(SetPrimaryDisplay(0));
  EXPECT_EQ(log_.Messages(), "Failed to query display config.\n");
  EXPECT_TRUE(Now().setCalls.empty());
}

}  // namespace
