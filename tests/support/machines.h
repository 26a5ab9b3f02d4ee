// Simulated machines for the tests, built from table rows: the pieces
// (Monitor, Shown, Link ...), whole machines (SideBySide, Cloned), a display
// that comes later (Appears), and the machines the deployment tests start
// from. No GoogleTest in here: the fault sweep and the benchmarks use it too.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/sim_machine.h"

namespace dptest {

inline sim::Target Monitor(uint32_t id, std::string name, uint32_t w = 1920, uint32_t h = 1080,
                           bool available = true) {
  return {.id = id, .name = std::move(name), .available = available, .preferred = {w, h, 60}};
}

// A connector with nothing plugged in.
inline sim::Target Unplugged(uint32_t id, std::string name) {
  return Monitor(id, std::move(name), 1920, 1080, false);
}

inline sim::Source Idle(uint32_t id) {
  return {.id = id, .gdiName = "\\\\.\\DISPLAY" + std::to_string(id + 1), .mode = {}};
}

inline sim::Source Shown(uint32_t id, uint32_t w, uint32_t h, int32_t x, int32_t y) {
  sim::Source s = Idle(id);
  s.mode = sim::SourceMode{w, h, x, y};
  return s;
}

inline sim::Path Link(uint32_t source, uint32_t target) {
  return {.sourceId = source, .targetId = target, .sourceModeIdx = {}};
}

// One display of a machine as a table row: the monitor's name and the mode
// it is shown at, which is its preferred mode too; its target id (0: its
// place in the row, counted from 1).
struct Screen {
  std::string name;
  uint32_t width = 1920, height = 1080;
  uint32_t id = 0;
};

// The displays side by side from (0,0) to the right in the row's order, the
// first primary, display i on source i (\\.\DISPLAYi+1), and `idle` more
// sources that show nothing. The targets are kept in the order of their ids,
// as an adapter numbers its connectors.
inline sim::Machine SideBySide(const std::vector<Screen>& row, uint32_t idle = 0) {
  sim::Machine m;
  int32_t x = 0;
  for (uint32_t i = 0; i < row.size(); ++i) {
    const uint32_t id = row[i].id != 0 ? row[i].id : i + 1;
    m.targets.push_back(Monitor(id, row[i].name, row[i].width, row[i].height));
    m.sources.push_back(Shown(i, row[i].width, row[i].height, x, 0));
    m.paths.push_back(Link(i, id));
    x += static_cast<int32_t>(row[i].width);
  }
  for (uint32_t i = 0; i < idle; ++i)
    m.sources.push_back(Idle(static_cast<uint32_t>(row.size()) + i));
  std::stable_sort(m.targets.begin(), m.targets.end(),
                   [](const sim::Target& a, const sim::Target& b) { return a.id < b.id; });
  return m;
}

// The displays as one clone on source 0 at the first's mode; the other
// sources are there, idle.
inline sim::Machine Cloned(const std::vector<Screen>& row) {
  sim::Machine m = SideBySide(row);
  for (std::size_t i = 1; i < m.paths.size(); ++i) {
    m.sources[i].mode.reset();
    m.paths[i].sourceId = 0;
  }
  return m;
}

// A display coming up (as the helper brings the virtual monitor up) right
// after the `call`-th call of `api`, as a clone of the primary unless told
// otherwise.
inline sim::Event Appears(sim::Target target, sim::Api api, uint32_t call,
                          sim::AppearAs as = sim::AppearAs::Clone) {
  sim::Event e;
  e.afterApi = api;
  e.afterCall = call;
  e.action = sim::EventAction::Appear;
  e.target = std::move(target);
  e.appearAs = as;
  return e;
}

// The active displays by name, left to right: "NAME WxH at (x,y)" a line.
inline std::string Layout(const sim::Machine& m) {
  std::multimap<int32_t, std::string> shown;  // equal keys keep the paths' order
  for (const sim::Path& p : m.paths) {
    const sim::Source* s = sim::FindSource(m, p.sourceId);
    const sim::Target* t = sim::FindTarget(m, p.targetId);
    if (s == nullptr || !s->mode) continue;
    shown.emplace(s->mode->x,
                  (t != nullptr ? t->name : "?") + " " + std::to_string(s->mode->width) + "x" +
                      std::to_string(s->mode->height) + " at (" + std::to_string(s->mode->x) + "," +
                      std::to_string(s->mode->y) + ")\n");
  }
  std::string out;
  for (const auto& [x, line] : shown) out += line;
  return out;
}

// The flags of every SetDisplayConfig call the machine has seen, in order.
inline std::vector<UINT32> SetCallFlags(const sim::Machine& m) {
  std::vector<UINT32> flags;
  for (const auto& call : m.setCalls) flags.push_back(call.flags);
  return flags;
}

// The machines the deployment tests start from. The physical display, a
// Dell at target kDell, alone; what a good run leaves on it (the virtual
// monitor, which came later, primary at its own mode, the Dell to its
// right); and three displays, with which a run changes nothing.
inline constexpr uint32_t kDell = 0x1100;

inline sim::Machine OneDellDisplay() { return SideBySide({{"DELL U2720Q", 1920, 1080, kDell}}); }

inline sim::Machine ArrangedWithTovik() {
  return SideBySide({{"TovikMonitor", 2560, 1440, kDell + 1}, {"DELL U2720Q", 1920, 1080, kDell}});
}

inline sim::Machine ThreeDisplays() {
  return SideBySide({{"DELL P240", 1920, 1080, kDell},
                     {"DELL P241", 1920, 1080, kDell + 1},
                     {"DELL P242", 1920, 1080, kDell + 2}});
}

}  // namespace dptest
