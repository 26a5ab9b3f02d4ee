// How the simulated adapter answers queries and applies topology changes,
// events and faults.
#include <algorithm>
#include <map>
#include <set>

#include "sim/sim_machine.h"

namespace sim {

namespace {

bool SameLuid(const LUID& a, const LUID& b) {
  return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

DISPLAYCONFIG_MODE_INFO SourceModeInfo(const Machine& m, const Source& s) {
  DISPLAYCONFIG_MODE_INFO mode{};
  mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE;
  mode.id = s.id;
  mode.adapterId = m.adapter;
  mode.sourceMode.width = s.mode->width;
  mode.sourceMode.height = s.mode->height;
  mode.sourceMode.pixelFormat = DISPLAYCONFIG_PIXELFORMAT_32BPP;
  mode.sourceMode.position.x = s.mode->x;
  mode.sourceMode.position.y = s.mode->y;
  return mode;
}

// After paths were taken away: sources without an active path lose their mode, and
// when the primary went with them the desktop is shifted so that the source
// of the highest-priority path becomes the new primary.
void Normalize(Machine& m) {
  for (Source& s : m.sources) {
    if (!IsSourceActive(m, s.id)) s.mode.reset();
  }
  if (PrimarySourceId(m)) return;
  auto first = std::find_if(m.paths.begin(), m.paths.end(), [](const Path& p) { return p.active; });
  if (first == m.paths.end()) return;
  const SourceMode origin = *FindSource(m, first->sourceId)->mode;
  for (Source& s : m.sources) {
    if (s.mode) {
      s.mode->x -= origin.x;
      s.mode->y -= origin.y;
    }
  }
}

// A source for a target that needs one of its own: one that no path uses,
// else (while a new topology is being built) one outside `taken` whose paths
// are about to go. The simulated adapter grows a source when none is left.
uint32_t FreeSource(Machine& m, const std::set<uint32_t>& taken, bool activeMayBeReused) {
  for (const Source& s : m.sources) {
    if (!taken.count(s.id) && !IsSourceInUse(m, s.id)) return s.id;
  }
  for (const Source& s : m.sources) {
    if (activeMayBeReused && !taken.count(s.id)) return s.id;
  }
  uint32_t id = 0;
  for (const Source& s : m.sources) id = std::max(id, s.id + 1);
  Source s;
  s.id = id;
  // GDI numbers are unique on a machine; take the first unused one.
  for (uint32_t n = id + 1;; ++n) {
    const std::string name = "\\\\.\\DISPLAY" + std::to_string(n);
    bool used = false;
    for (const Source& other : m.sources) used = used || other.gdiName == name;
    if (!used) {
      s.gdiName = name;
      break;
    }
  }
  m.sources.push_back(s);
  return id;
}

int32_t RightEdge(const Machine& m) {
  int32_t edge = 0;
  bool any = false;
  for (const Source& s : m.sources) {
    if (s.mode && IsSourceInUse(m, s.id)) {
      const int32_t right = s.mode->x + static_cast<int32_t>(s.mode->width);
      edge = any ? std::max(edge, right) : right;
      any = true;
    }
  }
  return edge;
}

void RemoveTargetPaths(Machine& m, uint32_t targetId) {
  std::erase_if(m.paths, [&](const Path& p) { return p.targetId == targetId; });
}

// The source a joining clone shows when none was named: the primary, unless
// that is the target's own source; then any other active source.
std::optional<uint32_t> CloneSource(const Machine& m, uint32_t targetId,
                                    std::optional<uint32_t> wanted) {
  if (wanted) {
    if (IsSourceActive(m, *wanted)) return wanted;
    return std::nullopt;
  }
  std::set<uint32_t> own;
  for (const Path& p : m.paths) {
    if (p.targetId == targetId) own.insert(p.sourceId);
  }
  std::optional<uint32_t> primary = PrimarySourceId(m);
  if (primary && !own.count(*primary)) return primary;
  for (const Path& p : m.paths) {
    if (p.active && !own.count(p.sourceId)) return p.sourceId;
  }
  return std::nullopt;
}

struct Rect {
  int64_t left, top, right, bottom;
};

bool Overlap(const Rect& a, const Rect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace

DISPLAYCONFIG_MODE_INFO TargetModeInfo(const Machine& m, const Target& t, const SourceMode& size) {
  DISPLAYCONFIG_MODE_INFO mode{};
  mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
  mode.id = t.id;
  mode.adapterId = m.adapter;
  DISPLAYCONFIG_VIDEO_SIGNAL_INFO& signal = mode.targetMode.targetVideoSignalInfo;
  const uint32_t refresh = t.preferred.refreshHz ? t.preferred.refreshHz : 60;
  const uint32_t htotal = size.width + 160;
  const uint32_t vtotal = size.height + size.height / 20 + 1;
  signal.activeSize = {size.width, size.height};
  signal.totalSize = {htotal, vtotal};
  signal.pixelRate = static_cast<UINT64>(htotal) * vtotal * refresh;
  signal.hSyncFreq = {vtotal * refresh, 1};
  signal.vSyncFreq = {refresh, 1};
  signal.videoStandard = 255;  // D3DKMDT_VSS_OTHER
  signal.scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_PROGRESSIVE;
  return mode;
}

QueryAnswer BuildQueryAnswer(const Machine& m, bool allPaths) {
  QueryAnswer answer;
  std::map<uint32_t, UINT32> sourceModeIndex;
  // Active paths first; paths the machine keeps as not active follow them,
  // and only in the all-paths answer, without modes: "for inactive paths ...
  // the source and target mode indexes are marked as invalid".
  std::vector<Path> listed;
  for (const Path& p : m.paths) {
    if (p.active) listed.push_back(p);
  }
  for (const Path& p : m.paths) {
    if (!p.active && allPaths) listed.push_back(p);
  }
  for (const Path& p : listed) {
    const Source& s = *FindSource(m, p.sourceId);
    const Target& t = *FindTarget(m, p.targetId);
    DISPLAYCONFIG_PATH_INFO path{};
    path.sourceInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
    path.targetInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
    if (p.active) {
      auto found = sourceModeIndex.find(s.id);
      if (found == sourceModeIndex.end()) {
        found = sourceModeIndex.emplace(s.id, static_cast<UINT32>(answer.modes.size())).first;
        answer.modes.push_back(SourceModeInfo(m, s));
      }
      path.targetInfo.modeInfoIdx = static_cast<UINT32>(answer.modes.size());
      answer.modes.push_back(TargetModeInfo(m, t, *s.mode));
      path.flags = DISPLAYCONFIG_PATH_ACTIVE;
      path.sourceInfo.modeInfoIdx = p.sourceModeIdx.value_or(found->second);
    }
    path.sourceInfo.adapterId = m.adapter;
    path.sourceInfo.id = s.id;
    path.sourceInfo.statusFlags = IsSourceActive(m, s.id) ? DISPLAYCONFIG_SOURCE_IN_USE : 0;
    path.targetInfo.adapterId = m.adapter;
    path.targetInfo.id = t.id;
    path.targetInfo.outputTechnology =
        static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(t.outputTechnology);
    path.targetInfo.rotation = DISPLAYCONFIG_ROTATION_IDENTITY;
    path.targetInfo.scaling = DISPLAYCONFIG_SCALING_IDENTITY;
    path.targetInfo.refreshRate = {t.preferred.refreshHz * 1000, 1000};
    path.targetInfo.scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_PROGRESSIVE;
    path.targetInfo.targetAvailable = t.available ? TRUE : FALSE;
    path.targetInfo.statusFlags = IsTargetActive(m, t.id) ? DISPLAYCONFIG_TARGET_IN_USE : 0;
    answer.paths.push_back(path);
  }
  if (!allPaths) return answer;

  for (const Target& t : m.targets) {
    for (const Source& s : m.sources) {
      const bool listedAlready = std::any_of(m.paths.begin(), m.paths.end(), [&](const Path& p) {
        return p.sourceId == s.id && p.targetId == t.id;
      });
      if (listedAlready) continue;
      DISPLAYCONFIG_PATH_INFO path{};
      path.sourceInfo.adapterId = m.adapter;
      path.sourceInfo.id = s.id;
      path.sourceInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
      path.sourceInfo.statusFlags = IsSourceActive(m, s.id) ? DISPLAYCONFIG_SOURCE_IN_USE : 0;
      path.targetInfo.adapterId = m.adapter;
      path.targetInfo.id = t.id;
      path.targetInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
      path.targetInfo.outputTechnology =
          static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(t.outputTechnology);
      path.targetInfo.targetAvailable = t.available ? TRUE : FALSE;
      path.targetInfo.statusFlags = IsTargetActive(m, t.id) ? DISPLAYCONFIG_TARGET_IN_USE : 0;
      answer.paths.push_back(path);
    }
  }
  return answer;
}

std::optional<Machine> WithSavedLayout(const Machine& m) {
  if (!m.database || m.database->paths.empty()) return std::nullopt;
  std::set<uint32_t> saved;
  std::set<uint32_t> connected;
  for (const Path& p : m.database->paths) saved.insert(p.targetId);
  for (const Target& t : m.targets) {
    if (t.available) connected.insert(t.id);
  }
  if (saved != connected) return std::nullopt;
  Machine view = m;
  view.paths = m.database->paths;
  for (Source& s : view.sources) {
    s.mode.reset();
    for (const Source& kept : m.database->sources) {
      if (kept.id == s.id) s.mode = kept.mode;
    }
  }
  if (!CheckMachine(view).empty()) return std::nullopt;
  return view;
}

LONG ApplyExtendTopology(Machine& m) {
  std::vector<uint32_t> available;
  for (const Target& t : m.targets) {
    if (t.available) available.push_back(t.id);
  }
  if (available.empty()) return ERROR_GEN_FAILURE;

  // "The caller requests the last extend configuration from the persistence
  // database": a layout saved for these monitors, one source each, returns.
  if (const std::optional<Machine> saved = WithSavedLayout(m)) {
    std::set<uint32_t> sources;
    for (const Path& p : saved->paths) sources.insert(p.sourceId);
    if (sources.size() == saved->paths.size()) {
      m.paths = saved->paths;
      m.sources = saved->sources;
      return ERROR_SUCCESS;
    }
  }

  // Targets keep their source where they can (the first path of a clone keeps
  // it), in path priority order.
  std::vector<Path> kept;
  std::set<uint32_t> taken;
  std::set<uint32_t> placed;
  for (const Path& p : m.paths) {
    const Target* t = FindTarget(m, p.targetId);
    if (!p.active || !t->available || placed.count(p.targetId) || taken.count(p.sourceId)) {
      continue;
    }
    kept.push_back(p);
    taken.insert(p.sourceId);
    placed.insert(p.targetId);
  }
  // The row: the primary first, then the kept sources from left to right.
  const std::optional<uint32_t> primary = PrimarySourceId(m);
  std::vector<uint32_t> row;
  for (const Path& p : kept) row.push_back(p.sourceId);
  std::stable_sort(row.begin(), row.end(), [&](uint32_t a, uint32_t b) {
    if (primary && (a == *primary || b == *primary)) return a == *primary && b != *primary;
    const SourceMode& ma = *FindSource(m, a)->mode;
    const SourceMode& mb = *FindSource(m, b)->mode;
    return std::make_pair(ma.x, ma.y) < std::make_pair(mb.x, mb.y);
  });

  // Every other available target gets a free source with its preferred mode.
  std::vector<Path> added;
  for (uint32_t targetId : available) {
    if (placed.count(targetId)) continue;
    // A target whose inactive path names a source still free gets it back.
    auto before = std::find_if(m.paths.begin(), m.paths.end(), [&](const Path& p) {
      return !p.active && p.targetId == targetId && !taken.count(p.sourceId) &&
             !IsSourceActive(m, p.sourceId);
    });
    const uint32_t sourceId =
        before != m.paths.end() ? before->sourceId : FreeSource(m, taken, true);
    taken.insert(sourceId);
    const Target& t = *FindTarget(m, targetId);
    FindSource(m, sourceId)->mode = SourceMode{t.preferred.width, t.preferred.height, 0, 0};
    added.push_back(Path{sourceId, targetId, std::nullopt});
    row.push_back(sourceId);
  }

  int32_t offset = 0;
  for (uint32_t sourceId : row) {
    SourceMode& mode = *FindSource(m, sourceId)->mode;
    mode.x = offset;
    mode.y = 0;
    offset += static_cast<int32_t>(mode.width);
  }
  m.paths = kept;
  m.paths.insert(m.paths.end(), added.begin(), added.end());
  for (Source& s : m.sources) {
    if (!taken.count(s.id)) s.mode.reset();
  }
  return ERROR_SUCCESS;
}

LONG ApplySuppliedConfig(Machine& m, const DISPLAYCONFIG_PATH_INFO* paths, UINT32 numPaths,
                         const DISPLAYCONFIG_MODE_INFO* modes, UINT32 numModes, bool apply) {
  if (numPaths == 0 || paths == nullptr) return ERROR_INVALID_PARAMETER;
  if (numModes > 0 && modes == nullptr) return ERROR_INVALID_PARAMETER;

  std::vector<Path> newPaths;
  std::map<uint32_t, SourceMode> newModes;
  std::set<uint32_t> targetsSeen;
  for (UINT32 i = 0; i < numPaths; ++i) {
    const DISPLAYCONFIG_PATH_INFO& p = paths[i];
    if (!(p.flags & DISPLAYCONFIG_PATH_ACTIVE)) continue;  // Windows ignores these
    if (!SameLuid(p.sourceInfo.adapterId, m.adapter) ||
        !SameLuid(p.targetInfo.adapterId, m.adapter)) {
      return ERROR_INVALID_PARAMETER;
    }
    const Source* s = FindSource(m, p.sourceInfo.id);
    const Target* t = FindTarget(m, p.targetInfo.id);
    if (!s || !t || !t->available) return ERROR_INVALID_PARAMETER;
    if (!targetsSeen.insert(t->id).second) return ERROR_INVALID_PARAMETER;

    const UINT32 si = p.sourceInfo.modeInfoIdx;
    if (si >= numModes) return ERROR_INVALID_PARAMETER;
    const DISPLAYCONFIG_MODE_INFO& sm = modes[si];
    if (sm.infoType != DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE || sm.id != s->id ||
        !SameLuid(sm.adapterId, m.adapter) || sm.sourceMode.width == 0 ||
        sm.sourceMode.height == 0) {
      return ERROR_INVALID_PARAMETER;
    }
    const UINT32 ti = p.targetInfo.modeInfoIdx;
    if (ti != DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
      if (ti >= numModes) return ERROR_INVALID_PARAMETER;
      const DISPLAYCONFIG_MODE_INFO& tm = modes[ti];
      if (tm.infoType != DISPLAYCONFIG_MODE_INFO_TYPE_TARGET || tm.id != t->id ||
          !SameLuid(tm.adapterId, m.adapter)) {
        return ERROR_INVALID_PARAMETER;
      }
    }
    const SourceMode mode{sm.sourceMode.width, sm.sourceMode.height, sm.sourceMode.position.x,
                          sm.sourceMode.position.y};
    auto [it, inserted] = newModes.emplace(s->id, mode);
    if (!inserted && (it->second.width != mode.width || it->second.height != mode.height ||
                      it->second.x != mode.x || it->second.y != mode.y)) {
      return ERROR_INVALID_PARAMETER;  // one source cannot show two desktops
    }
    newPaths.push_back(Path{s->id, t->id, std::nullopt});
  }
  if (newPaths.empty()) return ERROR_INVALID_PARAMETER;

  int atOrigin = 0;
  std::vector<Rect> rects;
  for (const auto& [id, mode] : newModes) {
    if (mode.x == 0 && mode.y == 0) ++atOrigin;
    rects.push_back(
        Rect{mode.x, mode.y, int64_t{mode.x} + mode.width, int64_t{mode.y} + mode.height});
  }
  if (atOrigin != 1) return ERROR_INVALID_PARAMETER;
  for (size_t i = 0; i < rects.size(); ++i) {
    for (size_t j = i + 1; j < rects.size(); ++j) {
      if (Overlap(rects[i], rects[j])) return ERROR_INVALID_PARAMETER;
    }
  }
  if (!apply) return ERROR_SUCCESS;

  m.paths = newPaths;
  for (Source& s : m.sources) {
    auto found = newModes.find(s.id);
    if (found == newModes.end()) {
      s.mode.reset();
    } else {
      s.mode = found->second;
    }
  }
  return ERROR_SUCCESS;
}

void ApplyEventAction(Machine& m, const Event& event) {
  switch (event.action) {
    case EventAction::Appear: {
      Target* t = FindTarget(m, event.target.id);
      if (t) {
        *t = event.target;  // plugged in again, perhaps another monitor
      } else {
        m.targets.push_back(event.target);
        t = &m.targets.back();
      }
      t->available = true;
      const uint32_t targetId = t->id;
      RemoveTargetPaths(m, targetId);
      Normalize(m);
      std::optional<uint32_t> cloneOf;
      if (event.appearAs == AppearAs::Clone) {
        cloneOf = CloneSource(m, targetId, event.sourceId);
      }
      if (cloneOf) {
        m.paths.push_back(Path{*cloneOf, targetId, std::nullopt});
      } else if (event.appearAs != AppearAs::Inactive) {
        // Extended (or a clone with nothing to clone): a source of its own,
        // right of everything else.
        const int32_t x = RightEdge(m);
        const uint32_t sourceId = FreeSource(m, {}, false);
        const Target& added = *FindTarget(m, targetId);
        FindSource(m, sourceId)->mode =
            SourceMode{added.preferred.width, added.preferred.height, x, 0};
        m.paths.push_back(Path{sourceId, targetId, std::nullopt});
      }
      Normalize(m);
      break;
    }
    case EventAction::Deactivate:
      RemoveTargetPaths(m, event.targetId);
      Normalize(m);
      break;
    case EventAction::JoinClone: {
      const Target* t = FindTarget(m, event.targetId);
      if (!t || !t->available) break;
      const std::optional<uint32_t> sourceId = CloneSource(m, event.targetId, event.sourceId);
      if (!sourceId) break;
      RemoveTargetPaths(m, event.targetId);
      m.paths.push_back(Path{*sourceId, event.targetId, std::nullopt});
      Normalize(m);
      break;
    }
    case EventAction::Unplug: {
      Target* t = FindTarget(m, event.targetId);
      if (!t) break;
      t->available = false;
      RemoveTargetPaths(m, event.targetId);
      Normalize(m);
      break;
    }
  }
}

void FireDueEvents(Machine& m, uint64_t nowMs) {
  for (size_t i = 0; i < m.events.size(); ++i) {
    if (m.events[i].fired) continue;
    const Event& e = m.events[i];
    const bool due = (e.afterApi && m.CallCount(*e.afterApi) >= e.afterCall) ||
                     (e.afterMs && nowMs >= m.createdAtMs + *e.afterMs);
    if (!due) continue;
    m.events[i].fired = true;
    const Event copy = m.events[i];  // the action may grow other vectors
    ApplyEventAction(m, copy);
  }
}

std::optional<LONG> DueFault(const Machine& m, Api api) {
  const uint32_t call = m.CallCount(api);
  for (const Fault& f : m.faults) {
    if (f.api == api && (f.atCall == 0 || f.atCall == call)) return f.error;
  }
  return std::nullopt;
}

}  // namespace sim
