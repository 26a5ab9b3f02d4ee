// Small builders for simulated machines, shared by every test that sets one
// up. Header only: the tests that use it link the simulated stack.
#pragma once

#include <cstdint>
#include <string>

#include "sim/sim_machine.h"

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

}  // namespace simbuild
