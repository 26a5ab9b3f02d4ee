// Component tests run the program's units against a simulated machine kept
// in a state file of the test's own, with the log pointed at a file too.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim/sim.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace simtest {

inline sim::Target Monitor(uint32_t id, std::string name, bool available = true) {
  sim::Target t;
  t.id = id;
  t.name = std::move(name);
  t.available = available;
  return t;
}

inline sim::Source Shown(uint32_t id, uint32_t w, uint32_t h, int32_t x, int32_t y) {
  sim::Source s;
  s.id = id;
  s.gdiName = "\\\\.\\DISPLAY" + std::to_string(id + 1);
  s.mode = sim::SourceMode{w, h, x, y};
  return s;
}

inline sim::Source Idle(uint32_t id) {
  sim::Source s;
  s.id = id;
  s.gdiName = "\\\\.\\DISPLAY" + std::to_string(id + 1);
  return s;
}

inline sim::Path Link(uint32_t source, uint32_t target) {
  sim::Path p;
  p.sourceId = source;
  p.targetId = target;
  return p;
}

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
