// The simulated display stack's in-process interface, for tests and tools.
//
// The machine lives in one JSON state file shared by every process that links
// the simulated stack (docs/sim.md describes the format). Each access takes a
// lock beside the file, so concurrent processes never lose an update or read
// a half-written file.
//
// Typical test use:
//   sim::SetStatePath(dir.wpath() + L"\\state.json");
//   sim::SaveMachine(*sim::BuiltInMachine("two-clone"));
//   ... run code that calls displayapi:: ...
//   sim::Machine m;
//   ASSERT_TRUE(sim::LoadMachine(&m));
//   EXPECT_EQ(m.setCalls.size(), 1u) << sim::RenderDesktop(m);
#pragma once

#include <functional>
#include <string>

#include "sim/sim_machine.h"

namespace sim {

// Where the state file is: the path given to SetStatePath, else the
// environment variable DPSIM_STATE, else "sim-state.json" beside the
// executable. An empty path returns to the default.
std::wstring StatePath();
void SetStatePath(const std::wstring& path);
void SetStatePath(const std::string& path);  // ANSI code page

// The state file's text and back. MachineFromJson leaves `machine` untouched
// and explains in `error` when the text is not a sound state.
std::string MachineToJson(const Machine& machine);
bool MachineFromJson(const std::string& text, Machine* machine, std::string* error);

// Reads the state file under the lock. False (with a reason) when it is
// missing or unsound.
bool LoadMachine(Machine* machine, std::string* error = nullptr);

// Replaces the state file under the lock, atomically.
bool SaveMachine(const Machine& machine, std::string* error = nullptr);

// One locked transaction: read the state (a missing file starts as the
// built-in "one-display" machine created now), let `change` act on it, write
// it back. Returns what `change` returned, or ERROR_GEN_FAILURE (after a line
// on standard error) when the file cannot be read, parsed or written; then
// the file is left as it was.
LONG UpdateMachine(const std::function<LONG(Machine&)>& change);

// Wall-clock time in Unix milliseconds, the clock of Machine::createdAtMs.
uint64_t NowMs();

// A readable picture of the desktop: the active sources as boxes, scaled
// down, each labelled with its GDI name, monitor names, size, position and
// whether it is primary; then a list of the inactive targets.
std::string RenderDesktop(const Machine& machine);

// The recorded SetDisplayConfig calls in readable form, one block per call.
std::string DescribeSetCalls(const Machine& machine);

// Path and mode arrays in readable form, one line each.
std::string DescribeArrays(const std::vector<DISPLAYCONFIG_PATH_INFO>& paths,
                           const std::vector<DISPLAYCONFIG_MODE_INFO>& modes);

}  // namespace sim
