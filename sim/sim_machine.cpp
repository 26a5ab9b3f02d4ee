#include "sim/sim_machine.h"

#include <set>
#include <utility>

namespace sim {

namespace {

constexpr const char* kApiNames[kApiCount] = {
    "GetDisplayConfigBufferSizes",
    "QueryDisplayConfig",
    "DisplayConfigGetDeviceInfo",
    "SetDisplayConfig",
};

Target MakeTarget(uint32_t id, const char* name, uint32_t width, uint32_t height,
                  uint32_t technology) {
  Target t;
  t.id = id;
  t.name = name;
  t.preferred = DisplayMode{width, height, 60};
  t.outputTechnology = technology;
  return t;
}

Source MakeSource(uint32_t id) {
  Source s;
  s.id = id;
  s.gdiName = "\\\\.\\DISPLAY" + std::to_string(id + 1);
  return s;
}

void Activate(Machine& m, uint32_t sourceId, uint32_t targetId, int32_t x, int32_t y) {
  Source* s = FindSource(m, sourceId);
  const Target* t = FindTarget(m, targetId);
  if (!s->mode) {
    s->mode = SourceMode{t->preferred.width, t->preferred.height, x, y};
  }
  m.paths.push_back(Path{sourceId, targetId, std::nullopt});
}

// Target ids look like a real driver's (0x1100 and up) so that a caller that
// mixes up source and target ids gets caught.
constexpr uint32_t kDell = 0x1100;
constexpr uint32_t kTovik = 0x1101;
constexpr uint32_t kLg = 0x1102;

Machine WithDisplays(int count) {
  Machine m;
  m.targets.push_back(
      MakeTarget(kDell, "DELL U2720Q", 1920, 1080, DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI));
  if (count >= 2) {
    m.targets.push_back(MakeTarget(kTovik, kVirtualMonitorName, 2560, 1440,
                                   DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED));
  }
  if (count >= 3) {
    m.targets.push_back(MakeTarget(kLg, "LG HDR 4K", 2560, 1440,
                                   DISPLAYCONFIG_OUTPUT_TECHNOLOGY_DISPLAYPORT_EXTERNAL));
  }
  for (int i = 0; i < count; ++i) m.sources.push_back(MakeSource(i));
  return m;
}

}  // namespace

const char* ApiName(Api api) {
  const int i = static_cast<int>(api);
  return i >= 0 && i < kApiCount ? kApiNames[i] : "?";
}

bool ParseApi(std::string_view text, Api* api) {
  for (int i = 0; i < kApiCount; ++i) {
    if (text == kApiNames[i]) {
      *api = static_cast<Api>(i);
      return true;
    }
  }
  return false;
}

const Target* FindTarget(const Machine& m, uint32_t targetId) {
  for (const Target& t : m.targets) {
    if (t.id == targetId) return &t;
  }
  return nullptr;
}

Target* FindTarget(Machine& m, uint32_t targetId) {
  return const_cast<Target*>(FindTarget(std::as_const(m), targetId));
}

const Source* FindSource(const Machine& m, uint32_t sourceId) {
  for (const Source& s : m.sources) {
    if (s.id == sourceId) return &s;
  }
  return nullptr;
}

Source* FindSource(Machine& m, uint32_t sourceId) {
  return const_cast<Source*>(FindSource(std::as_const(m), sourceId));
}

bool IsSourceActive(const Machine& m, uint32_t sourceId) {
  for (const Path& p : m.paths) {
    if (p.active && p.sourceId == sourceId) return true;
  }
  return false;
}

bool IsTargetActive(const Machine& m, uint32_t targetId) {
  for (const Path& p : m.paths) {
    if (p.active && p.targetId == targetId) return true;
  }
  return false;
}

bool IsSourceInUse(const Machine& m, uint32_t sourceId) {
  for (const Path& p : m.paths) {
    if (p.sourceId == sourceId) return true;
  }
  return false;
}

std::optional<uint32_t> PrimarySourceId(const Machine& m) {
  for (const Path& p : m.paths) {
    if (!p.active) continue;
    const Source* s = FindSource(m, p.sourceId);
    if (s && s->mode && s->mode->x == 0 && s->mode->y == 0) return s->id;
  }
  return std::nullopt;
}

std::string CheckMachine(const Machine& m) {
  std::set<uint32_t> ids;
  for (const Target& t : m.targets) {
    if (!ids.insert(t.id).second) {
      return "target id " + std::to_string(t.id) + " appears twice";
    }
  }
  ids.clear();
  for (const Source& s : m.sources) {
    if (!ids.insert(s.id).second) {
      return "source id " + std::to_string(s.id) + " appears twice";
    }
    if (s.gdiName.empty()) {
      return "source " + std::to_string(s.id) + " has no GDI name";
    }
  }
  std::set<std::pair<uint32_t, uint32_t>> pairs;
  std::set<uint32_t> shownTargets;
  for (const Path& p : m.paths) {
    const Source* s = FindSource(m, p.sourceId);
    if (!s) return "a path uses unknown source " + std::to_string(p.sourceId);
    if (!FindTarget(m, p.targetId)) {
      return "a path uses unknown target " + std::to_string(p.targetId);
    }
    const std::string name =
        "path " + std::to_string(p.sourceId) + " -> " + std::to_string(p.targetId);
    if (p.active && (!s->mode || s->mode->width == 0 || s->mode->height == 0)) {
      return "source " + std::to_string(p.sourceId) + " is on a path but has no mode with a size";
    }
    if (!p.active && s->mode && !IsSourceActive(m, p.sourceId)) {
      return name + " is inactive but its source keeps a mode (Windows gives inactive paths " +
             "no modes: drop the source's mode or make the path active)";
    }
    if (!p.active && p.sourceModeIdx) {
      return name + " is inactive but has a sourceModeIdx (Windows marks an inactive path's " +
             "mode indexes invalid)";
    }
    if (!pairs.insert({p.sourceId, p.targetId}).second) return name + " appears twice";
    if (p.active && !shownTargets.insert(p.targetId).second) {
      return "target " + std::to_string(p.targetId) + " is on two active paths (Windows drives " +
             "a target from one source at a time: make it a clone of one source)";
    }
  }
  for (const Event& e : m.events) {
    if (e.afterApi.has_value() == e.afterMs.has_value()) {
      return "an event needs exactly one trigger (after a call or after ms)";
    }
  }
  return {};
}

std::vector<std::string> BuiltInMachineNames() {
  return {"one-display", "two-extend-primary", "two-extend-physical-primary",
          "two-clone",   "two-one-inactive",   "three-displays",
          "no-display"};
}

std::optional<Machine> BuiltInMachine(std::string_view name) {
  if (name == "no-display") return Machine{};
  if (name == "one-display") {
    Machine m = WithDisplays(1);
    Activate(m, 0, kDell, 0, 0);
    return m;
  }
  if (name == "two-extend-primary") {
    // The virtual monitor is primary, the physical one directly to its right.
    Machine m = WithDisplays(2);
    Activate(m, 0, kDell, 2560, 0);
    Activate(m, 1, kTovik, 0, 0);
    return m;
  }
  if (name == "two-extend-physical-primary") {
    Machine m = WithDisplays(2);
    Activate(m, 0, kDell, 0, 0);
    Activate(m, 1, kTovik, 1920, 0);
    return m;
  }
  if (name == "two-clone") {
    Machine m = WithDisplays(2);
    Activate(m, 0, kDell, 0, 0);
    Activate(m, 0, kTovik, 0, 0);
    return m;
  }
  if (name == "two-one-inactive") {
    Machine m = WithDisplays(2);
    Activate(m, 0, kDell, 0, 0);
    return m;
  }
  if (name == "three-displays") {
    Machine m = WithDisplays(3);
    Activate(m, 0, kDell, 0, 0);
    Activate(m, 1, kLg, 1920, 0);
    Activate(m, 2, kTovik, 1920 + 2560, 0);
    return m;
  }
  return std::nullopt;
}

}  // namespace sim
