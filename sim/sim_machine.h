// The simulated machine: one display adapter with its targets (monitor
// connectors), sources (GDI views such as \\.\DISPLAY1), the active paths
// between them, and everything the tests script around them (faults, events,
// recorded SetDisplayConfig calls). Plain records; the operations that change
// them are the ones Windows performs, declared at the end.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

// The monitor name the product looks for; the virtual display carries it.
inline constexpr const char* kVirtualMonitorName = "TovikMonitor";

struct DisplayMode {
  uint32_t width = 1920;
  uint32_t height = 1080;
  uint32_t refreshHz = 60;
};

// A monitor connector of the adapter and what is plugged into it.
struct Target {
  uint32_t id = 0;
  std::string name;       // friendly monitor name, UTF-8
  bool available = true;  // a monitor is connected
  LONG nameError = 0;     // non-zero: the target-name request fails with it
  DisplayMode preferred;  // used when the target is given a new source
  uint32_t outputTechnology = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI;
};

// Where a source's view sits on the desktop. A source is active exactly when
// an active path uses it; only then does its mode mean anything.
struct SourceMode {
  uint32_t width = 0;
  uint32_t height = 0;
  int32_t x = 0;
  int32_t y = 0;
};

struct Source {
  uint32_t id = 0;
  std::string gdiName;  // "\\.\DISPLAY1"
  std::optional<SourceMode> mode;
};

// A path of the machine's configuration. Two active paths on one source are a
// clone.
struct Path {
  uint32_t sourceId = 0;
  uint32_t targetId = 0;
  // Test-only: written into sourceInfo.modeInfoIdx in place of the real index
  // (out of range, or pointing at a target mode), to reach callers' checks.
  std::optional<uint32_t> sourceModeIdx;
  // false: a path the target had and lost, listed by all-paths queries right
  // after the active ones, without DISPLAYCONFIG_PATH_ACTIVE and, as Windows
  // answers every inactive path, with both mode indexes invalid; its source
  // keeps no mode on its account. The extend topology gives the target that
  // source again when it is free.
  bool active = true;
};

enum class Api : int {
  GetDisplayConfigBufferSizes = 0,
  QueryDisplayConfig = 1,
  DisplayConfigGetDeviceInfo = 2,
  SetDisplayConfig = 3,
};
inline constexpr int kApiCount = 4;
const char* ApiName(Api api);
// Accepts the exact function name; false for anything else.
bool ParseApi(std::string_view text, Api* api);

// Makes call number `atCall` (1-based, counted per function) fail with
// `error`; atCall 0 makes every call fail.
struct Fault {
  Api api = Api::QueryDisplayConfig;
  uint32_t atCall = 0;
  LONG error = ERROR_GEN_FAILURE;
};

enum class EventAction {
  Appear,      // `target` is plugged in, shown as `appearAs`
  Deactivate,  // target `targetId` loses its paths (stays connected)
  JoinClone,   // target `targetId` shows source `sourceId` (default: primary)
  Unplug,      // target `targetId` is disconnected and loses its paths
};
enum class AppearAs { Extend, Clone, Inactive };

// A change of the machine that happens by itself: after call `afterCall` of
// `afterApi` has been answered, or once `afterMs` have passed since the
// machine was created. Exactly one of the two triggers is set.
struct Event {
  std::optional<Api> afterApi;
  uint32_t afterCall = 0;
  std::optional<uint64_t> afterMs;
  EventAction action = EventAction::Appear;
  Target target;          // Appear: the new display
  uint32_t targetId = 0;  // the other actions
  AppearAs appearAs = AppearAs::Extend;
  std::optional<uint32_t> sourceId;  // Appear as clone, JoinClone
  bool fired = false;
};

// Holds back a run's display calls until the simulated helper has announced
// its display. The program starts the helper and goes on without waiting, so
// how many calls the run makes before the helper's display is registered
// depends on how fast the machine starts a process; a test that ties the
// helper's display to call `afterCall` of `api` sets the gate, and every
// display call made after that one waits (the state lock released) until the
// helper has finished with the machine. The helper opens the gate on every
// way out, whether it added a display or not. A gate that names the helper
// holds the calls only while a process runs that program: a run that never
// started the helper (no profile chosen, say), or a helper that died before it
// could open the gate, holds nothing. A gate still shut after
// kHelperGateTimeoutMs opens by itself, with a line on standard error.
struct HelperGate {
  Api api = Api::SetDisplayConfig;
  uint32_t afterCall = 1;
  std::string helper;  // the helper's full path (UTF-8); empty: hold regardless
};
constexpr uint32_t kHelperGateTimeoutMs = 60000;

// One SetDisplayConfig call as the caller made it.
struct RecordedSetCall {
  UINT32 flags = 0;
  UINT32 numPathArrayElements = 0;  // as given, even when the array was null
  UINT32 numModeInfoArrayElements = 0;
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  LONG result = 0;
};

// What SDC_SAVE_TO_DATABASE stored last.
struct SavedLayout {
  std::vector<Path> paths;
  std::vector<Source> sources;  // the active sources with their modes
};

struct Machine {
  LUID adapter{0x0001A2B3, 0};
  std::vector<Target> targets;
  std::vector<Source> sources;
  std::vector<Path> paths;   // active paths, in priority order (see Path::active)
  uint64_t createdAtMs = 0;  // wall clock (Unix ms), for timed events
  std::array<uint32_t, kApiCount> callCounts{};
  std::vector<Fault> faults;
  std::vector<Event> events;
  std::optional<HelperGate> helperGate;
  std::vector<RecordedSetCall> setCalls;
  uint32_t databaseSaves = 0;
  std::optional<SavedLayout> database;

  uint32_t CallCount(Api api) const { return callCounts[static_cast<int>(api)]; }
};

// Lookups; null when the id is unknown.
const Target* FindTarget(const Machine& m, uint32_t targetId);
Target* FindTarget(Machine& m, uint32_t targetId);
const Source* FindSource(const Machine& m, uint32_t sourceId);
Source* FindSource(Machine& m, uint32_t sourceId);
// Whether an active path uses the source / target.
bool IsSourceActive(const Machine& m, uint32_t sourceId);
bool IsTargetActive(const Machine& m, uint32_t targetId);
// Whether any path, active or not, uses the source (only an active one gives
// it a mode).
bool IsSourceInUse(const Machine& m, uint32_t sourceId);
// The active source at desktop (0,0), if any: Windows' primary display.
std::optional<uint32_t> PrimarySourceId(const Machine& m);

// Checks that the records describe a machine the simulation can serve:
// unique ids, paths between known ids, a mode on every active source, none
// on a source that only inactive paths use (Windows gives an inactive path no
// modes), no forced index on an inactive path, no target on two active paths
// (a state Windows never produces). The test-only oddities (an active path to
// an unavailable target, a forced source mode index) are allowed. Empty text
// when sound.
std::string CheckMachine(const Machine& m);

// The built-in machines by name (see BuiltInMachineNames); nullopt otherwise.
std::optional<Machine> BuiltInMachine(std::string_view name);
std::vector<std::string> BuiltInMachineNames();

// What QueryDisplayConfig answers: with all paths, the active paths first
// (each with its source mode, shared by clones, and a target mode of its
// own), then every inactive source-and-target combination with invalid mode
// indexes; otherwise the active paths alone.
struct QueryAnswer {
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
};
QueryAnswer BuildQueryAnswer(const Machine& m, bool allPaths);

// The signal a monitor is driven with: a source of `size` at the target's
// refresh rate, with reduced-blanking-like totals.
DISPLAYCONFIG_MODE_INFO TargetModeInfo(const Machine& m, const Target& t, const SourceMode& size);

// The machine as the persistence database has it for the connected monitors:
// a copy with the saved paths and source modes, when the last saved layout
// names exactly the available targets; nullopt otherwise.
std::optional<Machine> WithSavedLayout(const Machine& m);

// The machine's own changes, as Windows makes them.
//
// Extend topology: the last saved layout for the connected monitors when it
// is an extended one (each target on a source of its own); otherwise every
// available target active on a source of its own (keeping its source where it
// has one, otherwise a free one with its preferred mode), laid out in one row
// from (0,0) with the current primary first. ERROR_GEN_FAILURE when no target
// is available.
LONG ApplyExtendTopology(Machine& m);

// Applies a supplied configuration (SDC_USE_SUPPLIED_DISPLAY_CONFIG): the
// active paths of the array become the machine's paths, the referenced source
// modes its layout. Everything is validated first; on any fault the result is
// ERROR_INVALID_PARAMETER and the machine is unchanged. With apply false only
// the validation runs (SDC_VALIDATE).
LONG ApplySuppliedConfig(Machine& m, const DISPLAYCONFIG_PATH_INFO* paths, UINT32 numPaths,
                         const DISPLAYCONFIG_MODE_INFO* modes, UINT32 numModes, bool apply);

// Carries out an event's action now (whether or not its trigger is due).
void ApplyEventAction(Machine& m, const Event& event);

// Fires every unfired event whose trigger is due: timed ones against
// `nowMs`, call-count ones against the machine's counts.
void FireDueEvents(Machine& m, uint64_t nowMs);

// The fault that decides the current call of `api` (its count already
// raised), if any.
std::optional<LONG> DueFault(const Machine& m, Api api);

}  // namespace sim
