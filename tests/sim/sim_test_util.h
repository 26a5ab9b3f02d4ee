// Shared pieces of the simulated display stack's own tests: a state file in a
// fresh directory, small builders for machines, and the seam called the way a
// program calls it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/display_config_api.h"
#include "sim/sim.h"
#include "support/sim_support.h"
#include "support/temp_dir.h"

namespace simcheck {

using simbuild::Idle;
using simbuild::Link;
using simbuild::Monitor;
using simbuild::Shown;

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

using simbuild::SimStateTest;

}  // namespace simcheck
