#include "contract_table.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "display/display_config_api.h"
#include "support/display_calls.h"

namespace contract {

namespace {

using Check = std::function<std::string(const Seen&)>;
using Codes = std::vector<LONG>;

// The sources, named once.
constexpr const char* kWineSizes =
    "Wine's conformance test, dlls/user32/tests/monitor.c: test_GetDisplayConfigBufferSizes";
constexpr const char* kWineQuery = "Wine: test_QueryDisplayConfig";
constexpr const char* kWineResult = "Wine: test_QueryDisplayConfig_result";
constexpr const char* kWineInfo = "Wine: test_DisplayConfigGetDeviceInfo";
constexpr const char* kMsQuery = "Microsoft: QueryDisplayConfig";
constexpr const char* kMsSizes = "Microsoft: GetDisplayConfigBufferSizes";
constexpr const char* kMsSet =
    "Microsoft: SetDisplayConfig, the valid flag combinations; ERROR_INVALID_PARAMETER for a "
    "combination that is not valid";

std::string Both(std::string a, const std::string& b) {
  if (a.empty()) return b;
  if (!b.empty()) a += "; " + b;
  return a;
}

std::string Code(LONG got, const Codes& want) {
  return std::find(want.begin(), want.end(), got) != want.end() ? ""
                                                                : "answered " + std::to_string(got);
}

// A count the call was given preset to kPreset (or no pointer for it), and
// what must become of it.
constexpr UINT32 kPreset = 100;
enum class Count { kNoPointer, kLeft, kZero, kZeroOrLeft, kPositive };
using enum Count;

std::string CountIs(const char* what, UINT32 value, Count rule) {
  const bool ok =
      rule == kNoPointer || (rule == kLeft && value == kPreset) || (rule == kZero && value == 0) ||
      (rule == kZeroOrLeft && (value == 0 || value == kPreset)) || (rule == kPositive && value > 0);
  return ok ? "" : std::string(what) + " " + std::to_string(value);
}

Check Sizes(UINT32 flags, Codes want, Count paths, Count modes) {
  return [=](const Seen&) {
    UINT32 p = kPreset, m = kPreset;
    const LONG r = displayapi::GetDisplayConfigBufferSizes(
        flags, paths == kNoPointer ? nullptr : &p, modes == kNoPointer ? nullptr : &m);
    return Both(Code(r, want),
                Both(CountIs("path count", p, paths), CountIs("mode count", m, modes)));
  };
}

// What a query is handed besides its flags and the counts' values.
enum Given { kNoArray, kPathArray, kModeArray, kBothArrays, kTopology = 4, kNoCounts = 8 };

// A query with the counts given (no count pointers with kNoCounts), the
// arrays named (never smaller than their counts) and a topology pointer or
// none; with `left` the counts must come back as they were given.
Check Query(UINT32 flags, UINT32 paths, UINT32 modes, int given, Codes want, bool left = false) {
  return [=](const Seen&) {
    std::vector<DISPLAYCONFIG_PATH_INFO> pathArray(std::max<UINT32>(paths, 1));
    std::vector<DISPLAYCONFIG_MODE_INFO> modeArray(std::max<UINT32>(modes, 1));
    UINT32 p = paths, m = modes;
    DISPLAYCONFIG_TOPOLOGY_ID id{};
    const bool counts = !(given & kNoCounts);
    const LONG r = displayapi::QueryDisplayConfig(
        flags, counts ? &p : nullptr, (given & kPathArray) ? pathArray.data() : nullptr,
        counts ? &m : nullptr, (given & kModeArray) ? modeArray.data() : nullptr,
        (given & kTopology) ? &id : nullptr);
    const bool kept = p == paths && m == modes;
    return Both(Code(r, want), left && !kept ? "the counts came back as " + std::to_string(p) +
                                                   " and " + std::to_string(m)
                                             : "");
  };
}

// The query answered with something, and no more than was sized: the sizes
// may be "slightly larger than what's actually required", never smaller.
std::string Fits(const Listing& l) {
  if (l.sizes != ERROR_SUCCESS) return "the sizes call answered " + std::to_string(l.sizes);
  if (l.result != ERROR_SUCCESS) return "answered " + std::to_string(l.result);
  if (l.paths.empty() || l.modes.empty()) return "no path or no mode";
  return l.paths.size() > l.sizedPaths || l.modes.size() > l.sizedModes
             ? "more written back than was sized"
             : "";
}

// A path's source mode (index `s`) and target mode (index `t`, or none):
// in range, of their kind, of the path's own source and target, with a size;
// a signal's total size is zero in the database's answer only.
std::string PathModes(const std::vector<DISPLAYCONFIG_MODE_INFO>& modes,
                      const DISPLAYCONFIG_PATH_INFO& p, UINT32 s, UINT32 t, bool database) {
  const std::string at = "path to target " + std::to_string(p.targetInfo.id) + ": ";
  if (s >= modes.size()) return at + "source mode index " + std::to_string(s) + " out of range";
  const DISPLAYCONFIG_MODE_INFO& sm = modes[s];
  if (sm.infoType != DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE || sm.id != p.sourceInfo.id ||
      !SameLuid(sm.adapterId, p.sourceInfo.adapterId) || sm.sourceMode.width == 0 ||
      sm.sourceMode.height == 0) {
    return at + "the source mode is not its source's, or has no size";
  }
  if (t == DISPLAYCONFIG_PATH_MODE_IDX_INVALID || t == DISPLAYCONFIG_PATH_TARGET_MODE_IDX_INVALID) {
    return "";
  }
  if (t >= modes.size()) return at + "target mode index " + std::to_string(t) + " out of range";
  const DISPLAYCONFIG_MODE_INFO& tm = modes[t];
  const DISPLAYCONFIG_VIDEO_SIGNAL_INFO& v = tm.targetMode.targetVideoSignalInfo;
  if (tm.infoType != DISPLAYCONFIG_MODE_INFO_TYPE_TARGET || tm.id != p.targetInfo.id ||
      !SameLuid(tm.adapterId, p.targetInfo.adapterId) || v.activeSize.cx == 0 ||
      v.activeSize.cy == 0) {
    return at + "the target mode is not its target's, or has no size";
  }
  const bool total = v.totalSize.cx > 0 && v.totalSize.cy > 0;
  if (database == total) return at + (database ? "a total size" : "no total size");
  return "";
}

using PathInfo = DISPLAYCONFIG_PATH_INFO;

// The same check of every active path, each failure said.
Check EveryPath(std::function<std::string(const Seen&, const PathInfo&)> check) {
  return [=](const Seen& seen) {
    std::string out;
    for (const PathInfo& p : seen.paths) out = Both(out, check(seen, p));
    return out;
  };
}

// A request packet about the first active path: its source or target (as
// the request type is about one or the other), an id nothing has, or an
// adapter nothing has.
enum class About { kNothing, kActivePath, kUnknownId, kUnknownAdapter };
using enum About;

Check Info(UINT32 type, UINT32 size, About about, Codes want) {
  return [=](const Seen& seen) {
    alignas(8) unsigned char packet[1024] = {};
    auto* header = reinterpret_cast<DISPLAYCONFIG_DEVICE_INFO_HEADER*>(packet);
    header->type = static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(type);
    header->size = size;
    if (about != kNothing && !seen.paths.empty()) {
      const DISPLAYCONFIG_PATH_INFO& p = seen.paths[0];
      const bool target = type != DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME &&
                          type != DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME;
      header->adapterId = target ? p.targetInfo.adapterId : p.sourceInfo.adapterId;
      header->id = target ? p.targetInfo.id : p.sourceInfo.id;
    }
    if (about == kUnknownId) header->id = 0x7FFFFFFF;
    if (about == kUnknownAdapter) header->adapterId = LUID{0xFFFF, 0xFFFF};
    return Code(displayapi::DisplayConfigGetDeviceInfo(header), want);
  };
}

template <typename Packet>
LONG Request(Packet& packet, UINT32 type, const LUID& adapter, UINT32 id) {
  packet.header.type = static_cast<DISPLAYCONFIG_DEVICE_INFO_TYPE>(type);
  packet.header.size = sizeof packet;
  packet.header.adapterId = adapter;
  packet.header.id = id;
  return displayapi::DisplayConfigGetDeviceInfo(&packet.header);
}

// SetDisplayConfig with no arrays, or with the active-only answer as queried.
Check Set(UINT32 flags, bool arrays, Codes want) {
  return [=](const Seen& seen) {
    return Code(arrays ? dptest::SetConfig(seen.paths, seen.modes, flags)
                       : dptest::SetConfig({}, {}, flags),
                want);
  };
}

// The persistence rows' set-up: the active layout saved with the last path
// first and the sources in a row from (0,0), then the first path shown alone,
// not saved. Returns what went wrong; `saved` gets each source's position.
std::string SaveThenShowOneAlone(const Seen& seen, std::map<UINT32, POINTL>* saved) {
  std::vector<DISPLAYCONFIG_PATH_INFO> paths = seen.paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes = seen.modes;
  std::rotate(paths.rbegin(), paths.rbegin() + 1, paths.rend());
  LONG x = 0;
  for (const DISPLAYCONFIG_PATH_INFO& p : paths) {
    DISPLAYCONFIG_SOURCE_MODE& mode = modes[p.sourceInfo.modeInfoIdx].sourceMode;
    if (saved->count(p.sourceInfo.id)) continue;
    mode.position = {x, 0};
    (*saved)[p.sourceInfo.id] = mode.position;
    x += static_cast<LONG>(mode.width);
  }
  const UINT32 kSaved = SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE;
  const std::string out = Code(dptest::SetConfig(paths, modes, kSaved), {ERROR_SUCCESS});
  modes = seen.modes;
  modes[seen.paths[0].sourceInfo.modeInfoIdx].sourceMode.position = {0, 0};
  return Both(out, Code(dptest::SetConfig({seen.paths[0]}, modes,
                                          SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG),
                        {ERROR_SUCCESS}));
}

// Every path of `l` shows its source where `saved` has it, and `l` has as many
// paths as `seen` had.
std::string AsSaved(const Listing& l, const Seen& seen, const std::map<UINT32, POINTL>& saved) {
  if (l.result != ERROR_SUCCESS) return "the query answered " + std::to_string(l.result);
  if (l.paths.size() != seen.paths.size()) return std::to_string(l.paths.size()) + " paths";
  std::string out;
  for (const DISPLAYCONFIG_PATH_INFO& p : l.paths) {
    const UINT32 s = p.sourceInfo.modeInfoIdx;
    const auto want = saved.find(p.sourceInfo.id);
    if (s >= l.modes.size() || want == saved.end() ||
        l.modes[s].sourceMode.position.x != want->second.x ||
        l.modes[s].sourceMode.position.y != want->second.y) {
      out = Both(out, "source " + std::to_string(p.sourceInfo.id) + " is not where it was saved");
    }
  }
  return out;
}

constexpr UINT32 kAll = QDC_ALL_PATHS;
constexpr UINT32 kActive = QDC_ONLY_ACTIVE_PATHS;
constexpr UINT32 kDatabase = QDC_DATABASE_CURRENT;
constexpr UINT32 kSourceName = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
constexpr UINT32 kTargetName = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
constexpr UINT32 kPreferred = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE;
constexpr UINT32 kAdapterName = DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME;
constexpr UINT32 kUnknownType = 0xFFFF;
constexpr UINT32 kHeader = sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER);
constexpr UINT32 kPreferredSize = sizeof(DISPLAYCONFIG_TARGET_PREFERRED_MODE);
constexpr UINT32 kAdapterNameSize = sizeof(DISPLAYCONFIG_ADAPTER_NAME);
constexpr UINT32 kValidate = SDC_VALIDATE;
constexpr UINT32 kSupplied = SDC_USE_SUPPLIED_DISPLAY_CONFIG;
constexpr UINT32 kExtend = SDC_TOPOLOGY_EXTEND;
constexpr LONG k87 = ERROR_INVALID_PARAMETER;
constexpr LONG k31 = ERROR_GEN_FAILURE;
constexpr LONG k50 = ERROR_NOT_SUPPORTED;

// The functions, as the rows name them.
constexpr const char* kSizes = "GetDisplayConfigBufferSizes";
constexpr const char* kQuery = "QueryDisplayConfig";
constexpr const char* kInfo = "DisplayConfigGetDeviceInfo";
constexpr const char* kSet = "SetDisplayConfig";

constexpr Effect R = Effect::kReads;
constexpr Effect V = Effect::kValidates;
constexpr Effect A = Effect::kApplies;
constexpr Needs any = Needs::kNothing;
constexpr Needs active = Needs::kActivePath;
constexpr Needs two = Needs::kTwoSources;

std::vector<Row> BuildTable() {
  return {
      // ---- GetDisplayConfigBufferSizes ----
      {"S1", kSizes, "QDC_ALL_PATHS, both count pointers null", "87", kWineSizes, R, any,
       Sizes(kAll, {k87}, kNoPointer, kNoPointer)},
      {"S2", kSizes, "QDC_ALL_PATHS, no mode count pointer", "87; the path count left as it was",
       kWineSizes, R, any, Sizes(kAll, {k87}, kLeft, kNoPointer)},
      {"S3", kSizes, "QDC_ALL_PATHS, no path count pointer", "87; the mode count left as it was",
       kWineSizes, R, any, Sizes(kAll, {k87}, kNoPointer, kLeft)},
      {"S4", kSizes, "flags 0",
       "87 (or 50: the flag check is the driver's); the path count 0, the mode count 0 or left",
       kWineSizes, R, any, Sizes(0, {k87, k50}, kZero, kZeroOrLeft)},
      {"S5", kSizes, "flags 0xFF (three kinds and unknown bits)", "as S4", kWineSizes, R, any,
       Sizes(0xFF, {k87, k50}, kZero, kZeroOrLeft)},
      {"S6", kSizes, "QDC_ALL_PATHS", "0; both counts above 0", kWineSizes, R, active,
       Sizes(kAll, {0}, kPositive, kPositive)},
      {"S7", kSizes, "QDC_ONLY_ACTIVE_PATHS", "0; both counts above 0", kWineSizes, R, active,
       Sizes(kActive, {0}, kPositive, kPositive)},
      {"S8", kSizes, "QDC_DATABASE_CURRENT", "0; both counts above 0", kWineSizes, R, active,
       Sizes(kDatabase, {0}, kPositive, kPositive)},
      {"S9", kSizes, "QDC_ONLY_ACTIVE_PATHS | QDC_VIRTUAL_MODE_AWARE",
       "0; both counts above 0 (Windows 10 and later)", kWineSizes, R, active,
       Sizes(kActive | QDC_VIRTUAL_MODE_AWARE, {0}, kPositive, kPositive)},

      // ---- QueryDisplayConfig: parameters ----
      {"Q1", kQuery, "QDC_ALL_PATHS, every pointer null", "87", kWineQuery, R, any,
       Query(kAll, 0, 0, kNoCounts, {k87})},
      {"Q2", kQuery, "counts 0 and 0, no arrays", "87", kWineQuery, R, any,
       Query(kAll, 0, 0, kNoArray, {k87})},
      {"Q3", kQuery, "counts 0 and 0, a path array only", "87", kWineQuery, R, any,
       Query(kAll, 0, 0, kPathArray, {k87})},
      {"Q4", kQuery, "counts 0 and 0, a mode array only", "87", kWineQuery, R, any,
       Query(kAll, 0, 0, kModeArray, {k87})},
      {"Q5", kQuery, "counts 0 and 0, both arrays", "87", kWineQuery, R, any,
       Query(kAll, 0, 0, kBothArrays, {k87})},
      {"Q6", kQuery, "path count 0, mode count 1, both arrays", "87; the counts left as they were",
       kWineQuery, R, any, Query(kAll, 0, 1, kBothArrays, {k87}, true)},
      {"Q7", kQuery, "flags 0, counts 1 and 1", "87", kWineQuery, R, any,
       Query(0, 1, 1, kBothArrays, {k87})},
      {"Q8", kQuery, "flags 0xFF, counts 1 and 1", "87", kWineQuery, R, any,
       Query(0xFF, 1, 1, kBothArrays, {k87})},
      {"Q9", kQuery, "QDC_DATABASE_CURRENT without a topology pointer", "87", kWineQuery, R, any,
       Query(kDatabase, 1, 1, kBothArrays, {k87})},
      {"Q10", kQuery, "QDC_ALL_PATHS with a topology pointer", "87", kWineQuery, R, any,
       Query(kAll, 1, 1, kBothArrays | kTopology, {k87})},
      {"Q11", kQuery, "QDC_ALL_PATHS, counts 1 and 1 (too few)",
       "122; the counts left as they were", kWineQuery, R, active,
       Query(kAll, 1, 1, kBothArrays, {ERROR_INSUFFICIENT_BUFFER}, true)},

      // ---- QueryDisplayConfig: sizing and what comes back ----
      {"Q12", kQuery, "QDC_ONLY_ACTIVE_PATHS, as sized", "0; paths and modes, no more than sized",
       kMsSizes, R, active, [](const Seen&) { return Fits(Read(kActive)); }},
      {"Q13", kQuery, "QDC_ALL_PATHS, as sized", "0; paths and modes, no more than sized", kMsSizes,
       R, active, [](const Seen&) { return Fits(Read(kAll)); }},
      {"Q14", kQuery, "QDC_DATABASE_CURRENT with a topology pointer, as sized",
       "0; a topology id (internal, clone, extend or external); each path's modes its own, the "
       "target modes without a total size",
       kWineResult, R, active,
       [](const Seen&) {
         const Listing l = Read(kDatabase);
         std::string out = Fits(l);
         if (l.topology != DISPLAYCONFIG_TOPOLOGY_INTERNAL &&
             l.topology != DISPLAYCONFIG_TOPOLOGY_CLONE &&
             l.topology != DISPLAYCONFIG_TOPOLOGY_EXTEND &&
             l.topology != DISPLAYCONFIG_TOPOLOGY_EXTERNAL) {
           out = Both(out, "topology id " + std::to_string(l.topology));
         }
         for (const PathInfo& p : l.paths) {
           out = Both(out, PathModes(l.modes, p, p.sourceInfo.modeInfoIdx, p.targetInfo.modeInfoIdx,
                                     true));
         }
         return out;
       }},
      {"Q15", kQuery, "QDC_ONLY_ACTIVE_PATHS | QDC_VIRTUAL_MODE_AWARE, as sized",
       "0; the index unions in halves: a source mode or else a clone group, a target mode, a "
       "desktop image only with DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE",
       kWineResult, R, active,
       [](const Seen&) {
         const Listing l = Read(kActive | QDC_VIRTUAL_MODE_AWARE);
         std::string out = Fits(l);
         for (const PathInfo& p : l.paths) {
           const UINT32 source = p.sourceInfo.sourceModeInfoIdx;
           const UINT32 clone = p.sourceInfo.cloneGroupId;
           const UINT32 desktop = p.targetInfo.desktopModeInfoIdx;
           const bool virtualMode = p.flags & DISPLAYCONFIG_PATH_SUPPORT_VIRTUAL_MODE;
           if ((source == DISPLAYCONFIG_PATH_SOURCE_MODE_IDX_INVALID) ==
               (clone == DISPLAYCONFIG_PATH_CLONE_GROUP_INVALID)) {
             out = Both(out, "a source mode and a clone group both or neither");
           } else if (source != DISPLAYCONFIG_PATH_SOURCE_MODE_IDX_INVALID) {
             out = Both(out, PathModes(l.modes, p, source, p.targetInfo.targetModeInfoIdx, false));
           }
           if ((desktop != DISPLAYCONFIG_PATH_DESKTOP_IMAGE_IDX_INVALID) != virtualMode ||
               (virtualMode &&
                (desktop >= l.modes.size() ||
                 l.modes[desktop].infoType != DISPLAYCONFIG_MODE_INFO_TYPE_DESKTOP_IMAGE))) {
             out = Both(out, "a desktop image index and the virtual-mode flag disagree");
           }
         }
         return out;
       }},

      // ---- The active paths, their modes and what the device-info requests say ----
      {"C1", kQuery, "QDC_ONLY_ACTIVE_PATHS: each path",
       "DISPLAYCONFIG_PATH_ACTIVE and DISPLAYCONFIG_SOURCE_IN_USE; a source mode of its own "
       "source with a size; a target mode of its own target, with an active and a total size, "
       "or none",
       kWineResult, R, active, EveryPath([](const Seen& seen, const PathInfo& p) {
         const bool flagged = (p.flags & DISPLAYCONFIG_PATH_ACTIVE) &&
                              (p.sourceInfo.statusFlags & DISPLAYCONFIG_SOURCE_IN_USE);
         return Both(
             flagged ? "" : "a path not flagged active and in use",
             PathModes(seen.modes, p, p.sourceInfo.modeInfoIdx, p.targetInfo.modeInfoIdx, false));
       })},
      {"C2", kQuery, "QDC_ONLY_ACTIVE_PATHS: the source positions",
       "exactly one active source, the primary display, at (0,0)",
       "Microsoft: DISPLAYCONFIG_SOURCE_MODE, positions relative to the primary's origin", R,
       active,
       [](const Seen& seen) {
         std::set<UINT32> sources;
         int atOrigin = 0;
         for (const PathInfo& p : seen.paths) {
           const UINT32 s = p.sourceInfo.modeInfoIdx;
           if (s >= seen.modes.size() || !sources.insert(p.sourceInfo.id).second) continue;
           const POINTL at = seen.modes[s].sourceMode.position;
           atOrigin += at.x == 0 && at.y == 0;
         }
         return atOrigin == 1 ? "" : std::to_string(atOrigin) + " sources at (0,0)";
       }},
      {"C3", kQuery, "QDC_ALL_PATHS: the paths",
       "the active ones are the active-only answer, in its order; every other one has both mode "
       "indexes invalid",
       kMsQuery, R, active,
       [](const Seen& seen) {
         const Listing all = Read(kAll);
         std::string out = Fits(all);
         std::vector<std::pair<UINT32, UINT32>> inAll, activeOnly;
         for (const PathInfo& p : all.paths) {
           if (p.flags & DISPLAYCONFIG_PATH_ACTIVE) {
             inAll.push_back({p.sourceInfo.id, p.targetInfo.id});
           } else if (p.sourceInfo.modeInfoIdx != DISPLAYCONFIG_PATH_MODE_IDX_INVALID ||
                      p.targetInfo.modeInfoIdx != DISPLAYCONFIG_PATH_MODE_IDX_INVALID) {
             out = Both(out, "an inactive path to target " + std::to_string(p.targetInfo.id) +
                                 " has a mode");
           }
         }
         for (const PathInfo& p : seen.paths)
           activeOnly.push_back({p.sourceInfo.id, p.targetInfo.id});
         return Both(out, inAll == activeOnly ? "" : "other active paths than the active query's");
       }},
      {"C4", kInfo,
       "DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME (84 bytes) for each active path's source",
       "0; a GDI name \\\\.\\DISPLAYn", kWineResult, R, active,
       EveryPath([](const Seen&, const PathInfo& p) {
         DISPLAYCONFIG_SOURCE_DEVICE_NAME n{};
         const LONG r = Request(n, kSourceName, p.sourceInfo.adapterId, p.sourceInfo.id);
         const std::wstring name(n.viewGdiDeviceName);
         return Both(Code(r, {0}), name.rfind(L"\\\\.\\DISPLAY", 0) == 0 ? "" : "no GDI name");
       })},
      {"C5", kInfo,
       "DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME (420 bytes) for each active path's target",
       "0; a friendly name ended inside its 64 characters", kWineResult, R, active,
       EveryPath([](const Seen&, const PathInfo& p) {
         DISPLAYCONFIG_TARGET_DEVICE_NAME n{};
         auto& name = n.monitorFriendlyDeviceName;
         std::fill(std::begin(name), std::end(name), L'x');
         const LONG r = Request(n, kTargetName, p.targetInfo.adapterId, p.targetInfo.id);
         const bool ended = std::find(std::begin(name), std::end(name), L'\0') != std::end(name);
         return Both(Code(r, {0}), ended ? "" : "the name is not ended");
       })},
      {"C6", kInfo,
       "DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE for each active path's target",
       "0; a width and a height", kWineResult, R, active,
       EveryPath([](const Seen&, const PathInfo& p) {
         DISPLAYCONFIG_TARGET_PREFERRED_MODE m{};
         const LONG r = Request(m, kPreferred, p.targetInfo.adapterId, p.targetInfo.id);
         return Both(Code(r, {0}), m.width > 0 && m.height > 0 ? "" : "no size");
       })},
      {"C7", kInfo, "DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME for each active path's adapter",
       "0; an adapter device path", kWineResult, R, active,
       EveryPath([](const Seen&, const PathInfo& p) {
         DISPLAYCONFIG_ADAPTER_NAME n{};
         const LONG r = Request(n, kAdapterName, p.sourceInfo.adapterId, 0);
         return Both(Code(r, {0}), n.adapterDevicePath[0] ? "" : "no device path");
       })},

      // ---- DisplayConfigGetDeviceInfo: the header ----
      {"D1", kInfo, "a null packet", "31", kWineInfo, R, any,
       [](const Seen&) { return Code(displayapi::DisplayConfigGetDeviceInfo(nullptr), {k31}); }},
      {"D2", kInfo, "type 0xFFFF (none), size 0", "31", kWineInfo, R, any,
       Info(kUnknownType, 0, kNothing, {k31})},
      {"D3", kInfo, "source name, size 0", "31", kWineInfo, R, any,
       Info(kSourceName, 0, kNothing, {k31})},
      {"D4", kInfo, "type 0xFFFF, the size of a header (20)", "87", kWineInfo, R, any,
       Info(kUnknownType, kHeader, kNothing, {k87})},
      {"D5", kInfo, "source name, the size of a header", "87", kWineInfo, R, any,
       Info(kSourceName, kHeader, kNothing, {k87})},
      {"D6", kInfo, "type 0xFFFF, the size of a source-name packet (84)", "87", kWineInfo, R, any,
       Info(kUnknownType, 84, kNothing, {k87})},
      {"D7", kInfo, "source name, one byte short (83)",
       "87 (Microsoft names 122 for a packet that is too small; Windows is seen to answer 87)",
       kWineInfo, R, any, Info(kSourceName, 83, kNothing, {k87})},
      {"D8", kInfo, "target name, one byte short (419)", "87", kWineInfo, R, any,
       Info(kTargetName, 419, kNothing, {k87})},
      {"D9", kInfo, "preferred mode, one byte short", "87", kWineInfo, R, any,
       Info(kPreferred, kPreferredSize - 1, kNothing, {k87})},
      {"D10", kInfo, "adapter name, one byte short", "87", kWineInfo, R, any,
       Info(kAdapterName, kAdapterNameSize - 1, kNothing, {k87})},
      {"D11", kInfo, "source name of an active source, adapter 0xFFFF:0xFFFF", "31", kWineResult, R,
       active, Info(kSourceName, 84, kUnknownAdapter, {k31})},
      {"D12", kInfo, "target name, adapter 0xFFFF:0xFFFF", "31 (or 50)", kWineInfo, R, any,
       Info(kTargetName, 420, kUnknownAdapter, {k31, k50})},
      {"D13", kInfo, "preferred mode, adapter 0xFFFF:0xFFFF", "31 (or 87, or 50)", kWineInfo, R,
       any, Info(kPreferred, kPreferredSize, kUnknownAdapter, {k31, k87, k50})},
      {"D14", kInfo, "adapter name, adapter 0xFFFF:0xFFFF", "31 (or 87, or 50)", kWineInfo, R, any,
       Info(kAdapterName, kAdapterNameSize, kUnknownAdapter, {k31, k87, k50})},
      {"D15", kInfo, "source name, the adapter's, an id no source has",
       "not settled; the simulated stack answers 87", kWineInfo, R, active,
       Info(kSourceName, 84, kUnknownId, {k87}),
       "no source tries an unknown id on a known adapter"},
      {"D16", kInfo, "target name, the adapter's, an id no target has",
       "not settled; the simulated stack answers 87", kWineInfo, R, active,
       Info(kTargetName, 420, kUnknownId, {k87}),
       "no source tries an unknown id on a known adapter"},
      {"D17", kInfo, "source name of an active source, one byte long (85)",
       "not settled; the simulated stack answers 87", kWineInfo, R, active,
       Info(kSourceName, 85, kActivePath, {k87}),
       "Wine's test tries packets that are too small, never one that is too large"},
      {"D18", kInfo, "DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_BASE_TYPE (6) for an active target",
       "not settled; the simulated stack answers 50", "Microsoft: DisplayConfigGetDeviceInfo", R,
       active,
       Info(DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_BASE_TYPE, sizeof(DISPLAYCONFIG_TARGET_BASE_TYPE),
            kActivePath, {k50}),
       "a documented request the simulated stack does not model; no source shows its answer"},

      // ---- SetDisplayConfig: the flag rules (nothing is applied) ----
      {"F1", kSet, "flags 0, no arrays", "87 (\"0 is not valid\")", kMsSet, V, any,
       Set(0, false, {k87})},
      {"F2", kSet, "SDC_APPLY | SDC_VALIDATE | SDC_TOPOLOGY_EXTEND",
       "87 (\"either SDC_APPLY or SDC_VALIDATE ... but not both\")", kMsSet, A, any,
       Set(SDC_APPLY | kValidate | kExtend, false, {k87})},
      {"F3", kSet, "SDC_TOPOLOGY_EXTEND alone (neither apply nor validate)", "87", kMsSet, V, any,
       Set(kExtend, false, {k87})},
      {"F4", kSet, "SDC_VALIDATE alone (neither supplied nor a topology)", "87", kMsSet, V, any,
       Set(kValidate, false, {k87})},
      {"F5", kSet,
       "SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_TOPOLOGY_EXTEND, the active arrays",
       "87", kMsSet, V, active, Set(kValidate | kSupplied | kExtend, true, {k87})},
      {"F6", kSet, "SDC_VALIDATE | SDC_NO_OPTIMIZATION | SDC_TOPOLOGY_EXTEND",
       "87 (only with SDC_APPLY)", kMsSet, V, any,
       Set(kValidate | SDC_NO_OPTIMIZATION | kExtend, false, {k87})},
      {"F7", kSet, "SDC_VALIDATE | SDC_SAVE_TO_DATABASE | SDC_TOPOLOGY_EXTEND",
       "87 (only with SDC_USE_SUPPLIED_DISPLAY_CONFIG)", kMsSet, V, any,
       Set(kValidate | SDC_SAVE_TO_DATABASE | kExtend, false, {k87})},
      {"F8", kSet,
       "SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_PATH_PERSIST_IF_REQUIRED, "
       "the active arrays",
       "87", kMsSet, V, active,
       Set(kValidate | kSupplied | SDC_PATH_PERSIST_IF_REQUIRED, true, {k87})},
      {"F9", kSet,
       "SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_FORCE_MODE_ENUMERATION, "
       "the active arrays",
       "87 (only with SDC_APPLY and SDC_USE_SUPPLIED_DISPLAY_CONFIG)", kMsSet, V, active,
       Set(kValidate | kSupplied | SDC_FORCE_MODE_ENUMERATION, true, {k87})},
      {"F10", kSet, "SDC_VALIDATE | SDC_TOPOLOGY_EXTEND | SDC_ALLOW_PATH_ORDER_CHANGES",
       "87 (only with SDC_TOPOLOGY_SUPPLIED)", kMsSet, V, any,
       Set(kValidate | kExtend | SDC_ALLOW_PATH_ORDER_CHANGES, false, {k87})},
      {"F11", kSet, "SDC_VALIDATE | SDC_TOPOLOGY_EXTEND | 0x40000000 (no such flag)",
       "not settled; the simulated stack answers 87", kMsSet, V, any,
       Set(kValidate | kExtend | 0x40000000, false, {k87}),
       "the page lists the flags but says nothing of any other bit; no source shows the code"},
      {"F12", kSet, "SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG, the active arrays as queried",
       "0: the configuration in use can be set", "Microsoft: SetDisplayConfig, SDC_VALIDATE", V,
       active, Set(kValidate | kSupplied, true, {0})},
      {"F13", kSet, "SDC_VALIDATE | SDC_TOPOLOGY_EXTEND | SDC_TOPOLOGY_SUPPLIED",
       "what F14 answers: \"SetDisplayConfig does not fail\" but ignores SDC_TOPOLOGY_SUPPLIED",
       kMsSet, V, active,
       [](const Seen&) {
         const LONG plain = dptest::SetConfig({}, {}, kValidate | kExtend);
         const LONG both = dptest::SetConfig({}, {}, kValidate | kExtend | SDC_TOPOLOGY_SUPPLIED);
         return both == plain
                    ? ""
                    : "answered " + std::to_string(both) + ", F14 " + std::to_string(plain);
       }},
      {"F14", kSet, "SDC_VALIDATE | SDC_TOPOLOGY_EXTEND, no arrays",
       "not settled; the simulated stack answers 0", "Microsoft: SetDisplayConfig", V, active,
       Set(kValidate | kExtend, false, {0}),
       "the machine's persistence database decides; no source shows the answer"},
      {"F15", kSet, "SDC_VALIDATE | SDC_TOPOLOGY_EXTEND, the active arrays",
       "not settled; the simulated stack answers 87", "Microsoft: SetDisplayConfig", V, active,
       Set(kValidate | kExtend, true, {k87}),
       "that a topology request takes no arrays is the stack's reading; no source shows "
       "the code"},
      {"F16", kSet, "SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG, no arrays",
       "not settled; the simulated stack answers 87", "Microsoft: SetDisplayConfig", V, any,
       Set(kValidate | kSupplied, false, {k87}), "nothing to set; no source shows the code"},
      {"F17", kSet, "SDC_VALIDATE | SDC_TOPOLOGY_SUPPLIED, the active arrays",
       "not settled; the simulated stack answers 50", "Microsoft: SetDisplayConfig", V, active,
       Set(kValidate | SDC_TOPOLOGY_SUPPLIED, true, {k50}),
       "a supplied topology takes its modes from the database, which the stack does not "
       "model; no source shows the answer"},
      {"F18", kSet, "SDC_VALIDATE | SDC_TOPOLOGY_CLONE",
       "not settled; the simulated stack answers 50", "Microsoft: SetDisplayConfig", V, active,
       Set(kValidate | SDC_TOPOLOGY_CLONE, false, {k50}),
       "the clone, internal, external and database topologies are not modelled"},
      {"F19", kSet,
       "SDC_VALIDATE | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_VIRTUAL_MODE_AWARE, the "
       "active arrays",
       "not settled; the simulated stack answers 50", "Microsoft: SetDisplayConfig", V, active,
       Set(kValidate | kSupplied | SDC_VIRTUAL_MODE_AWARE, true, {k50}),
       "the virtual-mode layout of a supplied configuration is not modelled"},

      // ---- The persistence database ----
      {"P1", kSet,
       "SDC_APPLY | SDC_TOPOLOGY_EXTEND after a layout saved with SDC_SAVE_TO_DATABASE and one "
       "display shown alone since",
       "0; the saved layout back, each source where it was saved",
       "Microsoft: SetDisplayConfig, SDC_TOPOLOGY_EXTEND: \"the last extend configuration from "
       "the persistence database\"",
       A, two,
       [](const Seen& seen) {
         std::map<UINT32, POINTL> saved;
         std::string out = SaveThenShowOneAlone(seen, &saved);
         out = Both(out, Code(dptest::SetConfig({}, {}, SDC_APPLY | kExtend), {0}));
         return Both(out, AsSaved(Read(kActive), seen, saved));
       }},
      {"P2", kQuery, "QDC_DATABASE_CURRENT after a layout saved and one display shown alone since",
       "0; the saved layout, topology extend",
       "Microsoft: GetDisplayConfigBufferSizes, QDC_DATABASE_CURRENT: \"the active paths as "
       "defined in the persistence database for the currently connected monitors\"",
       A, two,
       [](const Seen& seen) {
         std::map<UINT32, POINTL> saved;
         const std::string out = SaveThenShowOneAlone(seen, &saved);
         const Listing l = Read(kDatabase);
         return Both(Both(out, AsSaved(l, seen, saved)),
                     l.topology == DISPLAYCONFIG_TOPOLOGY_EXTEND ? "" : "not extend");
       }},
  };
}

}  // namespace

Listing Read(UINT32 flags) {
  Listing l;
  for (int attempt = 0; attempt < 3; ++attempt) {
    l.sizes = displayapi::GetDisplayConfigBufferSizes(flags, &l.sizedPaths, &l.sizedModes);
    if (l.sizes != ERROR_SUCCESS) return l;
    l.paths.assign(std::max<UINT32>(l.sizedPaths, 1), DISPLAYCONFIG_PATH_INFO{});
    l.modes.assign(std::max<UINT32>(l.sizedModes, 1), DISPLAYCONFIG_MODE_INFO{});
    UINT32 p = l.sizedPaths, m = l.sizedModes;
    l.result =
        displayapi::QueryDisplayConfig(flags, &p, l.paths.data(), &m, l.modes.data(),
                                       (flags & QDC_DATABASE_CURRENT) ? &l.topology : nullptr);
    if (l.result == ERROR_INSUFFICIENT_BUFFER) continue;
    l.paths.resize(l.result == ERROR_SUCCESS ? std::min(p, l.sizedPaths) : 0);
    l.modes.resize(l.result == ERROR_SUCCESS ? std::min(m, l.sizedModes) : 0);
    return l;
  }
  return l;
}

Seen LookAtTheMachine() {
  const Listing l = Read(kActive);
  Seen seen;
  seen.sizes = l.sizes;
  if (l.sizes != ERROR_SUCCESS || l.result != ERROR_SUCCESS) return seen;
  seen.paths = l.paths;
  seen.modes = l.modes;
  std::set<UINT32> sources;
  for (const DISPLAYCONFIG_PATH_INFO& p : seen.paths) sources.insert(p.sourceInfo.id);
  seen.sources = sources.size();
  return seen;
}

const std::vector<Row>& Table() {
  static const std::vector<Row> table = [] {
    // Where Wine 8 answers otherwise than Windows (docs/windows.md).
    std::map<std::string, const char*> wine8 = {
        {"S9", "87, the path count 0: no virtual-mode-aware query"},
        {"Q15", "87 from the sizes call: no virtual-mode-aware query"},
        {"C6", "50"},
        {"C7", "50"}};
    // The flag rules Wine's stub never checks.
    for (const char* id : {"F1", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10"})
      wine8[id] = "0: Wine's SetDisplayConfig answers 0 to anything";
    std::vector<Row> rows = BuildTable();
    for (Row& row : rows) {
      if (const auto wine = wine8.find(row.id); wine != wine8.end()) row.wine8 = wine->second;
    }
    return rows;
  }();
  return table;
}

bool Applies(const Row& row, const Seen& seen) {
  switch (row.needs) {
    case Needs::kNothing:
      return true;
    case Needs::kActivePath:
      return !seen.paths.empty();
    case Needs::kTwoSources:
      return seen.sources >= 2;
  }
  return false;
}

bool SameLuid(const LUID& a, const LUID& b) {
  return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

std::string Describe(const Row& row) {
  return std::string(row.id) + " " + row.call + " (" + row.input + "): Windows answers " +
         row.windows + " [" + row.source + "]" +
         (row.unsettled ? std::string(" (not settled: ") + row.unsettled + ")" : "");
}

}  // namespace contract
