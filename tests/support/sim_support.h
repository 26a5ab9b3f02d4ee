// What every test that sets up a simulated machine shares: the builders
// (support/machines.h), a fixture that keeps the machine in a state file of
// the test's own, and the display seam queried the way a program queries it. Header only: the tests
// that use it link the simulated stack.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "display/display_config_api.h"
#include "sim/sim.h"
#include "sim/sim_machine.h"
#include "support/display_calls.h"
#include "support/machines.h"
#include "support/temp_dir.h"

namespace dptest {

// The two flag sets the program hands SetDisplayConfig, as the numbers the
// documentation's flag values give (not rebuilt from the program's own
// expression): extend the desktop, and apply the paths and modes it supplies
// and save them.
inline constexpr UINT32 kSdcExtend = 0x84;  // SDC_APPLY | SDC_TOPOLOGY_EXTEND
inline constexpr UINT32 kSdcSuppliedSaved =
    0x2A0;  // SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE

// SetDisplayConfig as the program asks for the extend topology.
inline LONG Extend() { return displayapi::SetDisplayConfig(0, nullptr, 0, nullptr, kSdcExtend); }

// A machine the simulated stack ships with, by name.
inline sim::Machine BuiltIn(const char* name) {
  std::optional<sim::Machine> m = sim::BuiltInMachine(name);
  EXPECT_TRUE(m.has_value()) << name;
  return m.value_or(sim::Machine{});
}

struct Query {
  LONG sizesResult = -1;
  LONG result = -1;
  UINT32 sizedPaths = 0, sizedModes = 0;
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
};

// Asks for the sizes, then queries with arrays of exactly that size (never
// null: one spare element that the answer must not count).
inline Query RunQuery(UINT32 flags) {
  Query q;
  q.sizesResult = displayapi::GetDisplayConfigBufferSizes(flags, &q.sizedPaths, &q.sizedModes);
  if (q.sizesResult != ERROR_SUCCESS) return q;
  q.paths.resize(q.sizedPaths + 1);
  q.modes.resize(q.sizedModes + 1);
  UINT32 numPaths = q.sizedPaths, numModes = q.sizedModes;
  q.result = displayapi::QueryDisplayConfig(flags, &numPaths, q.paths.data(), &numModes,
                                            q.modes.data(), nullptr);
  q.paths.resize(q.result == ERROR_SUCCESS ? numPaths : 0);
  q.modes.resize(q.result == ERROR_SUCCESS ? numModes : 0);
  return q;
}

// What a machine shows, in one line: each active path in priority order as
// target@DISPLAYn(x,y)width, then each target without a path, idle or
// unplugged.
inline std::string Summary(const sim::Machine& m) {
  std::string out;
  for (const sim::Path& p : m.paths) {
    const sim::Source& s = *sim::FindSource(m, p.sourceId);
    out += std::to_string(p.targetId) + "@" + s.gdiName.substr(4) + "(" +
           std::to_string(s.mode->x) + "," + std::to_string(s.mode->y) + ")" +
           std::to_string(s.mode->width) + " ";
  }
  for (const sim::Target& t : m.targets) {
    if (!sim::IsTargetActive(m, t.id)) {
      out += std::to_string(t.id) + (t.available ? ":idle " : ":unplugged ");
    }
  }
  return out;
}

// Two arrays of Windows records byte for byte, saying which element differs.
template <typename T>
::testing::AssertionResult SameBytes(const std::vector<T>& seen, const std::vector<T>& expected) {
  if (seen.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << seen.size() << " elements, expected " << expected.size();
  }
  for (std::size_t i = 0; i < seen.size(); ++i) {
    if (std::memcmp(&seen[i], &expected[i], sizeof(T)) != 0) {
      return ::testing::AssertionFailure() << "element " << i << " differs";
    }
  }
  return ::testing::AssertionSuccess();
}

// The machine lives in a fresh directory for the length of one test.
class SimStateTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::SetStatePath(StateFile()); }
  void TearDown() override { sim::SetStatePath(std::wstring()); }

  std::wstring StateFile() const { return dir_.wpath() + L"\\state.json"; }

  void Use(const sim::Machine& machine) {
    std::string error;
    ASSERT_TRUE(sim::SaveMachine(machine, &error)) << error;
  }

  sim::Machine Now() {
    sim::Machine m;
    std::string error;
    EXPECT_TRUE(sim::LoadMachine(&m, &error)) << error;
    return m;
  }

  std::string Picture() { return sim::RenderDesktop(Now()); }

  TempDir dir_;
};

}  // namespace dptest
