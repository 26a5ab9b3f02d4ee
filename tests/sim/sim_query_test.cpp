// The simulated stack answers the read-side calls as Windows does.
#include <gmock/gmock.h>

#include <set>
#include <tuple>
#include <utility>

#include "support/sim_support.h"

namespace {

using dptest::BuiltIn;
using dptest::RunQuery;

class QueryTest : public dptest::SimStateTest {};

sim::Machine UnavailableActive() {
  // A path still active on a monitor that was pulled, next to a healthy one,
  // plus a disconnected connector that was never active.
  sim::Machine m = dptest::SideBySide({{"Gone", 1920, 1080, 10}, {"Here", 1920, 1080, 11}}, 1);
  m.targets[0].available = false;
  m.targets.push_back(dptest::Unplugged(12, "Spare"));
  return m;
}

struct Shape {
  const char* name;
  sim::Machine machine;
  size_t active;
  size_t all;
  size_t modes;
};

TEST_F(QueryTest, PathsAndModesAreLaidOutAsWindowsDoes) {
  const Shape cases[] = {
      {"one-display", BuiltIn("one-display"), 1, 1, 2},
      {"two-extend-primary", BuiltIn("two-extend-primary"), 2, 4, 4},
      {"two-clone", BuiltIn("two-clone"), 2, 4, 3},
      {"two-one-inactive", BuiltIn("two-one-inactive"), 1, 4, 2},
      {"three-displays", BuiltIn("three-displays"), 3, 9, 6},
      {"no-display", BuiltIn("no-display"), 0, 0, 0},
      {"unavailable", UnavailableActive(), 2, 9, 4},
  };
  for (const Shape& c : cases) {
    SCOPED_TRACE(c.name);
    Use(c.machine);
    const dptest::Query all = RunQuery(QDC_ALL_PATHS);
    const dptest::Query active = RunQuery(QDC_ONLY_ACTIVE_PATHS);
    ASSERT_EQ(all.sizesResult, ERROR_SUCCESS);
    ASSERT_EQ(active.sizesResult, ERROR_SUCCESS);
    // Nothing to list: the sizes say 0, and a query with zero counts is
    // refused (contract row Q5).
    ASSERT_EQ(all.result, c.all ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    ASSERT_EQ(active.result, c.active ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER);
    // The sizes say exactly what the query then fills.
    EXPECT_EQ((std::vector<size_t>{all.sizedPaths, all.paths.size(), active.sizedPaths,
                                   active.paths.size(), all.sizedModes, all.modes.size(),
                                   active.modes.size()}),
              (std::vector<size_t>{c.all, c.all, c.active, c.active, c.modes, c.modes, c.modes}));

    std::set<std::pair<UINT32, UINT32>> combos;
    for (size_t i = 0; i < all.paths.size(); ++i) {
      const DISPLAYCONFIG_PATH_INFO& p = all.paths[i];
      SCOPED_TRACE("path " + std::to_string(i));
      EXPECT_TRUE(combos.insert({p.sourceInfo.id, p.targetInfo.id}).second)
          << "every source-and-target combination once";
      const sim::Target* target = sim::FindTarget(c.machine, p.targetInfo.id);
      ASSERT_NE(target, nullptr);
      EXPECT_EQ(p.targetInfo.targetAvailable != FALSE, target->available);
      EXPECT_EQ(p.sourceInfo.adapterId.LowPart, c.machine.adapter.LowPart);
      if (i < c.active) {
        // Active paths first, identical to the active-only answer.
        EXPECT_EQ(p.flags, static_cast<UINT32>(DISPLAYCONFIG_PATH_ACTIVE));
        EXPECT_EQ(memcmp(&p, &active.paths[i], sizeof p), 0);
        ASSERT_LT(p.sourceInfo.modeInfoIdx, all.modes.size());
        ASSERT_LT(p.targetInfo.modeInfoIdx, all.modes.size());
        const DISPLAYCONFIG_MODE_INFO& sm = all.modes[p.sourceInfo.modeInfoIdx];
        const DISPLAYCONFIG_MODE_INFO& tm = all.modes[p.targetInfo.modeInfoIdx];
        EXPECT_EQ(sm.infoType, DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE);
        EXPECT_EQ(sm.id, p.sourceInfo.id);
        const sim::SourceMode& want = *sim::FindSource(c.machine, sm.id)->mode;
        EXPECT_EQ(std::tie(sm.sourceMode.width, sm.sourceMode.position.x, sm.sourceMode.position.y),
                  std::tie(want.width, want.x, want.y));
        EXPECT_EQ(tm.infoType, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET);
        EXPECT_EQ(tm.id, p.targetInfo.id);
        EXPECT_EQ(tm.targetMode.targetVideoSignalInfo.vSyncFreq.Numerator, 60u);
      } else {
        EXPECT_EQ(p.flags, 0u);
        EXPECT_EQ(p.sourceInfo.modeInfoIdx, DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
        EXPECT_EQ(p.targetInfo.modeInfoIdx, DISPLAYCONFIG_PATH_MODE_IDX_INVALID);
      }
    }
    EXPECT_EQ(combos.size(), c.machine.sources.size() * c.machine.targets.size());
  }
}

TEST_F(QueryTest, ClonedTargetsShareOneSourceMode) {
  Use(BuiltIn("two-clone"));
  const dptest::Query q = RunQuery(QDC_ONLY_ACTIVE_PATHS);
  ASSERT_EQ(q.paths.size(), 2u);
  EXPECT_EQ(q.paths[0].sourceInfo.id, q.paths[1].sourceInfo.id);
  EXPECT_EQ(q.paths[0].sourceInfo.modeInfoIdx, q.paths[1].sourceInfo.modeInfoIdx);
  EXPECT_NE(q.paths[0].targetInfo.modeInfoIdx, q.paths[1].targetInfo.modeInfoIdx);
}

TEST_F(QueryTest, OddSourceModeIndexesAreWrittenAsScripted) {
  sim::Machine m = BuiltIn("two-extend-physical-primary");
  m.paths[0].sourceModeIdx = 99;  // out of range
  m.paths[1].sourceModeIdx = 1;   // the first path's target mode
  Use(m);
  const dptest::Query q = RunQuery(QDC_ALL_PATHS);
  ASSERT_EQ(q.result, ERROR_SUCCESS);
  EXPECT_EQ(q.paths[0].sourceInfo.modeInfoIdx, 99u);
  EXPECT_EQ(q.paths[1].sourceInfo.modeInfoIdx, 1u);
  EXPECT_EQ(q.modes[1].infoType, DISPLAYCONFIG_MODE_INFO_TYPE_TARGET);
  EXPECT_EQ(q.modes.size(), 4u) << "the modes themselves are still all there";
}

TEST_F(QueryTest, AnInactivePathIsListedAfterTheActiveOnesWithInvalidModeIndexes) {
  // The physical display lost its path; the desktop moved to the other one.
  sim::Machine m = BuiltIn("two-extend-physical-primary");
  m.paths[0].active = false;
  m.sources[0].mode.reset();
  m.sources[1].mode->x = 0;
  Use(m);
  const dptest::Query all = RunQuery(QDC_ALL_PATHS);
  ASSERT_EQ(all.result, ERROR_SUCCESS);
  ASSERT_EQ(all.paths.size(), 4u);
  EXPECT_EQ(all.paths[0].targetInfo.id, 0x1101u);
  EXPECT_EQ(all.paths[0].flags, static_cast<UINT32>(DISPLAYCONFIG_PATH_ACTIVE));
  const DISPLAYCONFIG_PATH_INFO& listed = all.paths[1];
  EXPECT_EQ(std::tie(listed.targetInfo.id, listed.sourceInfo.id, listed.flags,
                     listed.targetInfo.statusFlags, listed.sourceInfo.statusFlags),
            std::make_tuple(0x1100u, 0u, 0u, 0u, 0u));
  EXPECT_EQ(
      std::tie(listed.sourceInfo.modeInfoIdx, listed.targetInfo.modeInfoIdx),
      std::make_tuple(DISPLAYCONFIG_PATH_MODE_IDX_INVALID, DISPLAYCONFIG_PATH_MODE_IDX_INVALID));
  EXPECT_EQ(all.modes.size(), 2u) << "modes for the active path only";

  const dptest::Query active = RunQuery(QDC_ONLY_ACTIVE_PATHS);
  ASSERT_EQ(active.paths.size(), 1u);
  EXPECT_EQ(active.paths[0].targetInfo.id, 0x1101u);
  EXPECT_EQ(active.modes.size(), 2u);
  EXPECT_EQ(sim::PrimarySourceId(m), std::optional<uint32_t>(1));
  EXPECT_THAT(sim::RenderDesktop(m), ::testing::HasSubstr("an inactive path to \\\\.\\DISPLAY1"))
      << sim::RenderDesktop(m);
}

TEST_F(QueryTest, SmallBuffersAreRefusedAndCountsKept) {
  Use(BuiltIn("two-extend-primary"));
  // The machine has 4 paths and 4 modes: a count short is refused and left
  // as given, a zero count refused as a parameter fault even beside a path
  // count that would do; a larger buffer is fine, the counts come back as used.
  struct Case {
    UINT32 paths, modes;
    LONG result;
    UINT32 pathsBack, modesBack;
  };
  for (const Case c :
       {Case{3, 4, ERROR_INSUFFICIENT_BUFFER, 3, 4}, Case{4, 3, ERROR_INSUFFICIENT_BUFFER, 4, 3},
        Case{4, 0, ERROR_INVALID_PARAMETER, 4, 0}, Case{10, 10, 0, 4, 4}}) {
    SCOPED_TRACE(std::to_string(c.paths) + " paths, " + std::to_string(c.modes) + " modes");
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(10);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(10);
    UINT32 numPaths = c.paths, numModes = c.modes;
    EXPECT_EQ(displayapi::QueryDisplayConfig(QDC_ALL_PATHS, &numPaths, paths.data(), &numModes,
                                             modes.data(), nullptr),
              c.result);
    EXPECT_EQ(numPaths, c.pathsBack);
    EXPECT_EQ(numModes, c.modesBack);
  }
}

TEST_F(QueryTest, RefusedCallsAreCountedToo) {
  // What a query is refused for is the contract table's (tests/conformance);
  // here only that a refused call counts, as the faults' call numbers rely on.
  Use(BuiltIn("one-display"));
  UINT32 numPaths = 0, numModes = 0;
  DISPLAYCONFIG_PATH_INFO path{};
  DISPLAYCONFIG_MODE_INFO mode{};
  EXPECT_EQ(displayapi::GetDisplayConfigBufferSizes(0, &numPaths, &numModes),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(
      displayapi::QueryDisplayConfig(QDC_ALL_PATHS, &numPaths, &path, &numModes, &mode, nullptr),
      ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Now().callCounts, (std::array<uint32_t, sim::kApiCount>{1, 1, 0, 0}));
}

// ---- DisplayConfigGetDeviceInfo ----

// A request of type `type` about source or target `id` of the machine's adapter.
template <typename Request>
Request Asking(DISPLAYCONFIG_DEVICE_INFO_TYPE type, const sim::Machine& m, UINT32 id) {
  Request r{};
  r.header = {type, sizeof r, m.adapter, id};
  return r;
}

DISPLAYCONFIG_TARGET_DEVICE_NAME TargetNameRequest(const sim::Machine& m, UINT32 id) {
  return Asking<DISPLAYCONFIG_TARGET_DEVICE_NAME>(DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME, m, id);
}

// The friendly name the one display of a machine answers when its monitor is
// called `name`, the answer's buffer filled with 0xFF beforehand.
std::wstring FriendlyNameOf(const std::string& name) {
  sim::Machine m = BuiltIn("one-display");
  m.targets[0].name = name;
  std::string error;
  EXPECT_TRUE(sim::SaveMachine(m, &error)) << error;
  auto r = TargetNameRequest(m, m.targets[0].id);
  memset(r.monitorFriendlyDeviceName, 0xFF, sizeof r.monitorFriendlyDeviceName);
  EXPECT_EQ(displayapi::DisplayConfigGetDeviceInfo(&r.header), ERROR_SUCCESS);
  return r.monitorFriendlyDeviceName;
}

TEST_F(QueryTest, DeviceNamesAnswerForEveryTargetAndSource) {
  static_assert(sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME) == 420);
  static_assert(sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME) == 84);
  const sim::Machine m = BuiltIn("two-one-inactive");  // the virtual one is inactive
  Use(m);
  for (const sim::Target& t : m.targets) {
    auto r = TargetNameRequest(m, t.id);
    ASSERT_EQ(displayapi::DisplayConfigGetDeviceInfo(&r.header), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(r.monitorFriendlyDeviceName),
              std::wstring(t.name.begin(), t.name.end()));
  }
  auto dell = TargetNameRequest(m, 0x1100);
  displayapi::DisplayConfigGetDeviceInfo(&dell.header);
  EXPECT_EQ(std::wstring(dell.monitorFriendlyDeviceName), L"DELL U2720Q");
  for (const sim::Source& s : m.sources) {
    auto r = Asking<DISPLAYCONFIG_SOURCE_DEVICE_NAME>(DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, m,
                                                      s.id);
    ASSERT_EQ(displayapi::DisplayConfigGetDeviceInfo(&r.header), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(r.viewGdiDeviceName), L"\\\\.\\DISPLAY" + std::to_wstring(s.id + 1));
  }
}

TEST_F(QueryTest, LongNamesAreCutAndTerminated) {
  EXPECT_EQ(FriendlyNameOf(std::string(100, 'N')), std::wstring(63, L'N'));
}

TEST_F(QueryTest, NamesOutsideAsciiArriveAsUtf16) {
  // "Über 4K €" in UTF-8.
  EXPECT_EQ(FriendlyNameOf("\xC3\x9C"
                           "ber 4K \xE2\x82\xAC"),
            L"\u00DCber 4K \u20AC");
}

}  // namespace
