// What every test that sets up a simulated machine shares: small builders and
// a fixture that keeps the machine in a state file of the test's own. Header
// only: the tests that use it link the simulated stack.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "sim/sim.h"
#include "sim/sim_machine.h"
#include "support/temp_dir.h"

namespace simbuild {

inline sim::Target Monitor(uint32_t id, std::string name, uint32_t w = 1920, uint32_t h = 1080,
                           bool available = true) {
  sim::Target t;
  t.id = id;
  t.name = std::move(name);
  t.preferred = sim::DisplayMode{w, h, 60};
  t.available = available;
  return t;
}

// A connector with nothing plugged in.
inline sim::Target Unplugged(uint32_t id, std::string name) {
  return Monitor(id, std::move(name), 1920, 1080, false);
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

}  // namespace simbuild
