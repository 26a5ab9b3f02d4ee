// The typical run laid out as an operator deploys it: displayprep-sim.exe with
// the simulated helper beside it, the recorder in the companion's place, EDID
// profiles in the edid folder, store.dat under APPDATA asking for a mode, and
// the simulated machine in the deployment's state file. Shared by the
// end-to-end tests (Sandbox), the fault sweep and the run benchmark; no
// GoogleTest assertion in here, so that programs with a main of their own
// link it too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim.h"
#include "support/machines.h"

namespace dptest {

// One EDID profile, made by edidgen: "WxHxF.hex" as hex text, or raw bytes,
// with the monitor name the generator gives (the packaged profiles name
// TovikMonitor already).
struct Profile {
  std::uint32_t width, height, fps;
  bool raw = false;
  std::string name = "DP Virtual";
};

// When the simulated helper's display comes ("FUNCTION:N", as WKEX_AFTER
// reads it): with the run's first topology request. The run's calls past it
// are held until the helper has announced its display (GateHelper), so that
// what each attempt sees never depends on how busy the machine is.
inline const std::wstring kHelperAfter = L"SetDisplayConfig:1";

struct TypicalRun {
  std::string program = "displayprep-sim.exe";  // the build's program deployed
  sim::Machine machine = OneDellDisplay();
  std::vector<Profile> profiles = {{2560, 1440, 60}, {1920, 1080, 60, true}};
  int width = 2560, height = 1440, fps = 60;  // what store.dat asks for
  bool companion = true;                      // the recorder as rent_protect\zanbyprotect.exe
  std::wstring helperAfter = kHelperAfter;    // empty: the helper's own delay, the clock
};

// Where the build put the programs (the running program's own folder).
std::filesystem::path BuildDirectory();

// The bytes of a profile's file.
std::string ProfileBytes(const Profile& profile);
// What keeps `bytes` from being `profile`'s file as the program rewrites it:
// one raw block that a display driver takes (sim::ParseVirtualDisplayEdid),
// naming TovikMonitor at the profile's mode; empty when nothing does.
std::string NotRewritten(const std::string& bytes, const Profile& profile);
// Writes each profile into `edidDir` (made as needed); empty, or what failed.
std::string WriteProfiles(const std::filesystem::path& edidDir,
                          const std::vector<Profile>& profiles);
// Writes appdata\harnfold\store.dat asking for this mode; empty, or what failed.
std::string WriteSettings(const std::filesystem::path& appdata, int width, int height, int fps);
// Copies a program from the build into `to` (its folders made as needed).
std::string InstallProgram(const std::string& program, const std::filesystem::path& to);

// The machine in `stateFile`, for the simulated stack of this process too
// (which keeps one state path: the calls hold a lock, so that threads that
// each deploy a run of their own never mix their machines).
std::string SaveMachine(const std::filesystem::path& stateFile, const sim::Machine& machine);
std::optional<sim::Machine> LoadMachine(const std::filesystem::path& stateFile,
                                        std::string* error = nullptr);

// Holds the calls of the machine in `deployment` past `after` (kHelperAfter's
// form) until the deployment's simulated helper has announced its display.
// The gate is opened once, by the helper, so a deployment run again needs it
// set again. None is set where wkex.exe is missing or is not the simulated
// helper byte for byte (nothing would open it). Empty, or what failed.
std::string GateHelper(const std::filesystem::path& deployment, const std::wstring& after);

// Lays out `run` in `deployment` (its state file "sim-state.json" there) with
// `appdata` as the APPDATA the runs get, the helper gated; empty, or what
// failed.
std::string DeployTypicalRun(const std::filesystem::path& deployment,
                             const std::filesystem::path& appdata, const TypicalRun& run);

// The environment the typical run starts in: APPDATA, no DPSIM_STATE (the
// simulated stack finds its state beside the program), and WKEX_AFTER, when
// the helper's display comes (empty: the helper's own delay).
std::map<std::wstring, std::optional<std::wstring>> TypicalRunEnvironment(
    const std::filesystem::path& appdata, const std::wstring& helperAfter = kHelperAfter);

// appdata\harnfold\log\display.log: where the run logs.
std::filesystem::path LogFileIn(const std::filesystem::path& appdata);

}  // namespace dptest
