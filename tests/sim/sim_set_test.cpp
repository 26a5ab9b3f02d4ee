// SetDisplayConfig on the simulated machine: the extend topology, supplied
// configurations, the database, and what is refused.
#include <algorithm>

#include "support/sim_support.h"

namespace {

using dptest::BuiltIn;
using dptest::Extend;
using dptest::RunQuery;
using dptest::SetConfig;
using dptest::Shown;
using dptest::SideBySide;
using dptest::Summary;

class SetTest : public dptest::SimStateTest {};

TEST_F(SetTest, ExtendGivesEveryAvailableTargetItsOwnSourceInARow) {
  struct Case {
    const char* what;
    sim::Machine before;
    std::string expected;
  };
  sim::Machine stacked = SideBySide({{"A"}, {"B", 1280, 1024}});
  stacked.sources[1] = Shown(1, 1280, 1024, 0, 1080);

  sim::Machine leftOfPrimary = stacked;
  leftOfPrimary.sources[1].mode = sim::SourceMode{1280, 1024, -1280, 0};

  // The primary is right of the others.
  sim::Machine primaryRightmost = SideBySide({{"A"}, {"B", 1280, 1024}, {"C", 800, 600}});
  primaryRightmost.sources = {Shown(0, 1920, 1080, -3200, 0), Shown(1, 1280, 1024, 0, 0),
                              Shown(2, 800, 600, -1280, 0)};

  sim::Machine pulled = SideBySide({{"A"}, {"Gone"}});  // an active path on a monitor that is gone
  pulled.targets[1].available = false;
  pulled.targets.push_back(dptest::Monitor(3, "New", 1024, 768));

  sim::Machine lost = BuiltIn("two-extend-physical-primary");
  lost.paths[1].active = false;  // the target keeps the path, its source no mode
  lost.sources[1].mode.reset();

  const Case cases[] = {
      {"an inactive path's target gets its source back, in its preferred mode", lost,
       "4352@DISPLAY1(0,0)1920 4353@DISPLAY2(1920,0)2560 "},
      {"clone splits, the new source takes the preferred mode", BuiltIn("two-clone"),
       "4352@DISPLAY1(0,0)1920 4353@DISPLAY2(1920,0)2560 "},
      {"inactive target joins on the free source", BuiltIn("two-one-inactive"),
       "4352@DISPLAY1(0,0)1920 4353@DISPLAY2(1920,0)2560 "},
      {"already extended stays as it is", BuiltIn("two-extend-primary"),
       "4352@DISPLAY1(2560,0)1920 4353@DISPLAY2(0,0)2560 "},
      {"stacked becomes a row", stacked, "1@DISPLAY1(0,0)1920 2@DISPLAY2(1920,0)1280 "},
      {"left of the primary moves right of it", leftOfPrimary,
       "1@DISPLAY1(0,0)1920 2@DISPLAY2(1920,0)1280 "},
      {"the primary stays first", primaryRightmost,
       "1@DISPLAY1(1280,0)1920 2@DISPLAY2(0,0)1280 3@DISPLAY3(3200,0)800 "},
      {"gone target dropped, new one gets the freed source", pulled,
       "1@DISPLAY1(0,0)1920 3@DISPLAY2(1920,0)1024 2:unplugged "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Use(c.before);
    ASSERT_EQ(Extend(), ERROR_SUCCESS);
    const sim::Machine after = Now();
    EXPECT_EQ(Summary(after), c.expected) << sim::RenderDesktop(after);
    EXPECT_EQ(sim::CheckMachine(after), "");
    for (const sim::Path& p : after.paths) EXPECT_TRUE(p.active);
  }
}

TEST_F(SetTest, ExtendWithNothingConnectedFailsAndChangesNothing) {
  sim::Machine m;
  m.targets = {dptest::Unplugged(1, "Gone")};
  m.sources = {dptest::Idle(0)};
  Use(m);
  EXPECT_EQ(Extend(), ERROR_GEN_FAILURE);
  const sim::Machine after = Now();
  EXPECT_TRUE(after.paths.empty());
  ASSERT_EQ(after.setCalls.size(), 1u);
  EXPECT_EQ(after.setCalls[0].result, ERROR_GEN_FAILURE);
}

TEST_F(SetTest, ExtendGrowsASourceWhenAllAreTaken) {
  sim::Machine m = dptest::Cloned({{"A"}, {"B"}});
  m.sources.resize(1);
  Use(m);
  ASSERT_EQ(Extend(), ERROR_SUCCESS);
  const sim::Machine after = Now();
  ASSERT_EQ(after.sources.size(), 2u);
  EXPECT_EQ(Summary(after), "1@DISPLAY1(0,0)1920 2@DISPLAY2(1920,0)1920 ");
}

// The product's way of making display `index` primary: query the active
// paths, put the chosen one first, lay the sources out in a row.
using Layout = dptest::Query;

Layout RowWithFirst(size_t index) {
  Layout l = RunQuery(QDC_ONLY_ACTIVE_PATHS);
  EXPECT_EQ(l.result, ERROR_SUCCESS);
  std::rotate(l.paths.begin(), l.paths.begin() + index, l.paths.begin() + index + 1);
  LONG x = 0;
  for (const auto& p : l.paths) {
    auto& mode = l.modes[p.sourceInfo.modeInfoIdx];
    mode.sourceMode.position = {x, 0};
    x += static_cast<LONG>(mode.sourceMode.width);
  }
  return l;
}

TEST_F(SetTest, SuppliedLayoutIsAppliedSavedAndRecordedAsGiven) {
  Use(BuiltIn("two-extend-physical-primary"));
  Layout l = RowWithFirst(1);  // TovikMonitor first
  ASSERT_EQ(SetConfig(l.paths, l.modes, dptest::kSdcSuppliedSaved), ERROR_SUCCESS);
  const sim::Machine after = Now();
  EXPECT_EQ(Summary(after), "4353@DISPLAY2(0,0)2560 4352@DISPLAY1(2560,0)1920 ")
      << sim::RenderDesktop(after);
  ASSERT_EQ(after.setCalls.size(), 1u);
  const sim::RecordedSetCall& call = after.setCalls[0];
  EXPECT_EQ(call.flags, dptest::kSdcSuppliedSaved);
  EXPECT_EQ(call.result, ERROR_SUCCESS);
  EXPECT_TRUE(dptest::SameBytes(call.paths, l.paths)) << "the paths";
  EXPECT_TRUE(dptest::SameBytes(call.modes, l.modes)) << "the modes";
  EXPECT_EQ(after.databaseSaves, 1u);
  ASSERT_TRUE(after.database.has_value());
  ASSERT_EQ(after.database->paths.size(), 2u);
  EXPECT_EQ(after.database->paths[0].targetId, 0x1101u);
  ASSERT_EQ(after.database->sources.size(), 2u);
  // The path order given is the new priority order.
  const dptest::Query q = RunQuery(QDC_ONLY_ACTIVE_PATHS);
  ASSERT_EQ(q.paths.size(), 2u);
  EXPECT_EQ(q.paths[0].targetInfo.id, 0x1101u);
}

TEST_F(SetTest, WithoutSaveToDatabaseNothingIsSaved) {
  Use(BuiltIn("two-extend-physical-primary"));
  Layout l = RowWithFirst(1);
  ASSERT_EQ(SetConfig(l.paths, l.modes, SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG),
            ERROR_SUCCESS);
  const sim::Machine after = Now();
  EXPECT_EQ(*sim::PrimarySourceId(after), 1u);
  EXPECT_EQ(after.databaseSaves, 0u);
  EXPECT_FALSE(after.database.has_value());
}

TEST_F(SetTest, InactivePathsInTheArrayAreIgnored) {
  Use(BuiltIn("two-one-inactive"));
  const dptest::Query q = RunQuery(QDC_ALL_PATHS);
  ASSERT_EQ(q.result, ERROR_SUCCESS);
  ASSERT_EQ(SetConfig(q.paths, q.modes, dptest::kSdcSuppliedSaved), ERROR_SUCCESS);
  EXPECT_EQ(Summary(Now()), "4352@DISPLAY1(0,0)1920 4353:idle ");
}

TEST_F(SetTest, UnsoundSuppliedLayoutsAreRefusedAndChangeNothing) {
  using Edit = void (*)(Layout&);
  struct Case {
    const char* what;
    Edit edit;
  };
  const Case cases[] = {
      {"overlapping sources",
       [](Layout& l) { l.modes[l.paths[1].sourceInfo.modeInfoIdx].sourceMode.position.x = 100; }},
      {"two sources at (0,0)",
       [](Layout& l) {
         l.modes[l.paths[1].sourceInfo.modeInfoIdx].sourceMode.position = {0, 0};
       }},
      {"no source at (0,0)",
       [](Layout& l) {
         for (auto& m : l.modes) {
           if (m.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) m.sourceMode.position.x += 10;
         }
       }},
      {"unknown target", [](Layout& l) { l.paths[1].targetInfo.id = 0x9999; }},
      {"unknown source", [](Layout& l) { l.paths[1].sourceInfo.id = 7; }},
      {"other adapter", [](Layout& l) { l.paths[0].targetInfo.adapterId.LowPart ^= 1; }},
      {"source mode index out of range", [](Layout& l) { l.paths[1].sourceInfo.modeInfoIdx = 9; }},
      {"source mode index invalid",
       [](Layout& l) { l.paths[1].sourceInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID; }},
      {"source mode index at a target mode",
       [](Layout& l) { l.paths[1].sourceInfo.modeInfoIdx = l.paths[1].targetInfo.modeInfoIdx; }},
      {"source mode of another source",
       [](Layout& l) { l.paths[1].sourceInfo.modeInfoIdx = l.paths[0].sourceInfo.modeInfoIdx; }},
      {"target mode of another target",
       [](Layout& l) { l.paths[1].targetInfo.modeInfoIdx = l.paths[0].targetInfo.modeInfoIdx; }},
      {"one target on two paths",
       [](Layout& l) { l.paths[1].targetInfo.id = l.paths[0].targetInfo.id; }},
      {"no active path",
       [](Layout& l) {
         for (auto& p : l.paths) p.flags = 0;
       }},
      {"source without size",
       [](Layout& l) { l.modes[l.paths[1].sourceInfo.modeInfoIdx].sourceMode.width = 0; }},
  };
  sim::Machine start = BuiltIn("two-extend-physical-primary");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Use(start);
    const std::string before = sim::MachineToJson(Now());
    Layout l = RowWithFirst(1);
    c.edit(l);
    EXPECT_EQ(SetConfig(l.paths, l.modes, dptest::kSdcSuppliedSaved), ERROR_INVALID_PARAMETER);
    sim::Machine after = Now();
    ASSERT_EQ(after.setCalls.size(), 1u);
    EXPECT_EQ(after.setCalls[0].result, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(after.databaseSaves, 0u);
    // Apart from the counts and the record, the machine is as it was.
    after.setCalls.clear();
    sim::Machine expected;
    ASSERT_TRUE(sim::MachineFromJson(before, &expected, nullptr));
    expected.callCounts = after.callCounts;
    EXPECT_EQ(sim::MachineToJson(after), sim::MachineToJson(expected));
  }
}

TEST_F(SetTest, UnavailableTargetCannotBeMadeActive) {
  sim::Machine m = BuiltIn("two-extend-physical-primary");
  Use(m);
  Layout l = RowWithFirst(0);
  m.targets[1].available = false;  // pulled after the query
  Use(m);
  EXPECT_EQ(SetConfig(l.paths, l.modes, dptest::kSdcSuppliedSaved), ERROR_INVALID_PARAMETER);
}

TEST_F(SetTest, CloneSourcesShareOneSourceMode) {
  // Two paths on one source with one mode apply as a clone; two different
  // modes for one source are a contradiction.
  Use(BuiltIn("two-clone"));
  dptest::Query q = RunQuery(QDC_ONLY_ACTIVE_PATHS);
  EXPECT_EQ(SetConfig(q.paths, q.modes, dptest::kSdcSuppliedSaved), ERROR_SUCCESS);
  EXPECT_EQ(Now().paths.size(), 2u);
  q.modes.push_back(q.modes[q.paths[1].sourceInfo.modeInfoIdx]);
  q.modes.back().sourceMode.width = 1280;
  q.paths[1].sourceInfo.modeInfoIdx = static_cast<UINT32>(q.modes.size() - 1);
  EXPECT_EQ(SetConfig(q.paths, q.modes, dptest::kSdcSuppliedSaved), ERROR_INVALID_PARAMETER);
}

// The flag sets the contract table holds on every machine (F1, F3, F6 and
// F14 are these very calls) are its; here, that each call is answered,
// recorded as made, and changes the machine only when applied.
TEST_F(SetTest, FlagCombinationsAreCheckedAsWindowsDoes) {
  struct Case {
    const char* what;
    UINT32 flags;
    bool withArrays;
    LONG expected;
    bool changes;
  };
  const Case cases[] = {
      {"apply alone", SDC_APPLY, false, ERROR_INVALID_PARAMETER, false},
      {"apply and validate", SDC_APPLY | SDC_VALIDATE | SDC_TOPOLOGY_EXTEND, false,
       ERROR_INVALID_PARAMETER, false},
      {"extend with arrays", dptest::kSdcExtend, true, ERROR_INVALID_PARAMETER, false},
      {"extend saved to the database", dptest::kSdcExtend | SDC_SAVE_TO_DATABASE, false,
       ERROR_INVALID_PARAMETER, false},
      {"supplied and a topology", dptest::kSdcSuppliedSaved | SDC_TOPOLOGY_EXTEND, true,
       ERROR_INVALID_PARAMETER, false},
      {"supplied without arrays", dptest::kSdcSuppliedSaved, false, ERROR_INVALID_PARAMETER, false},
      {"unknown bit", dptest::kSdcExtend | 0x10000, false, ERROR_INVALID_PARAMETER, false},
      {"clone topology", SDC_APPLY | SDC_TOPOLOGY_CLONE, false, ERROR_NOT_SUPPORTED, false},
      {"database topology", SDC_APPLY | SDC_USE_DATABASE_CURRENT, false, ERROR_NOT_SUPPORTED,
       false},
      {"virtual-mode-aware", dptest::kSdcSuppliedSaved | SDC_VIRTUAL_MODE_AWARE, true,
       ERROR_NOT_SUPPORTED, false},
      {"validate supplied", SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG, true, ERROR_SUCCESS,
       false},
      {"extend", dptest::kSdcExtend, false, ERROR_SUCCESS, true},
      {"extend with extras", dptest::kSdcExtend | SDC_ALLOW_CHANGES | SDC_NO_OPTIMIZATION, false,
       ERROR_SUCCESS, true},
  };
  // A valid extend layout, so that only the flags can be at fault.
  Use(BuiltIn("two-extend-physical-primary"));
  const dptest::Query extended = RunQuery(QDC_ONLY_ACTIVE_PATHS), none;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Use(BuiltIn("two-clone"));
    const std::vector<DISPLAYCONFIG_PATH_INFO>& paths = (c.withArrays ? extended : none).paths;
    EXPECT_EQ(SetConfig(paths, (c.withArrays ? extended : none).modes, c.flags), c.expected);
    const sim::Machine after = Now();
    EXPECT_EQ(after.paths[0].sourceId != after.paths[1].sourceId, c.changes)
        << sim::RenderDesktop(after);
    ASSERT_EQ(after.setCalls.size(), 1u);
    EXPECT_EQ(after.setCalls[0].flags, c.flags);
    EXPECT_EQ(after.setCalls[0].result, c.expected);
    EXPECT_EQ(after.setCalls[0].paths.size(), paths.size());
  }
}

TEST_F(SetTest, AbsurdCountsAreRefusedWithoutReadingTheArrays) {
  Use(BuiltIn("one-display"));
  DISPLAYCONFIG_PATH_INFO path{};
  DISPLAYCONFIG_MODE_INFO mode{};
  EXPECT_EQ(displayapi::SetDisplayConfig(0x7FFFFFFF, &path, 1, &mode, dptest::kSdcSuppliedSaved),
            ERROR_INVALID_PARAMETER);
  const sim::Machine after = Now();
  ASSERT_EQ(after.setCalls.size(), 1u);
  EXPECT_EQ(after.setCalls[0].numPathArrayElements, 0x7FFFFFFFu);
  EXPECT_TRUE(after.setCalls[0].paths.empty());
  EXPECT_EQ(after.setCalls[0].modes.size(), 1u);
}

}  // namespace
