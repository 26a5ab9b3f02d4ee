// Component tests run the program's units against a simulated machine kept
// in a state file of the test's own, with the log pointed at a file too.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim/sim.h"
#include "support/log_capture.h"
#include "support/sim_builders.h"
#include "support/temp_dir.h"

namespace simtest {

using simbuild::Idle;
using simbuild::Link;
using simbuild::Monitor;
using simbuild::Shown;
using simbuild::Unplugged;

class SimTest : public ::testing::Test {
 protected:
  void Use(const sim::Machine& machine) {
    sim::SetStatePath(dir_.File("sim-state.json"));
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
  LogCapture log_;
};

}  // namespace simtest
