// The display-configuration contract: one row per answer Windows is observed
// (or documented) to give, each checked through the display seam. The rows
// do not know who answers: conformance_tests links the simulated stack and
// runs them on every built-in machine in every context, real_tests links the
// system's own calls and runs those that change nothing. docs/windows.md
// lists the rows with their sources and what Wine 8 answers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace contract {

// What a row does to the display configuration. Only the simulated stack
// runs rows that apply a change.
enum class Effect { kReads, kValidates, kApplies };

// What the machine must show for a row to apply.
enum class Needs { kNothing, kActivePath, kTwoSources };

// The machine as the calls show it, read before the rows run so that both
// backends judge a row's precondition alike.
struct Seen {
  LONG sizes = ERROR_SUCCESS;  // the active-paths sizes call; the rest is empty unless 0
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;  // the active paths, as queried
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  std::size_t sources = 0;  // distinct active sources
};
Seen LookAtTheMachine();

// Sized and queried as a program does, asked again when the configuration
// changed in between (ERROR_INSUFFICIENT_BUFFER), three times at most; the
// arrays never null, cut to what the query wrote back.
struct Listing {
  LONG sizes = ERROR_SUCCESS;
  LONG result = ERROR_SUCCESS;
  UINT32 sizedPaths = 0, sizedModes = 0;
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  DISPLAYCONFIG_TOPOLOGY_ID topology{};  // asked for with QDC_DATABASE_CURRENT
};
Listing Read(UINT32 flags);

bool SameLuid(const LUID& a, const LUID& b);

struct Row {
  const char* id;       // how the documents name the row
  const char* call;     // the function called
  const char* input;    // what it is given
  const char* windows;  // what Windows answers
  const char* source;   // where that is observed or stated
  Effect effect;
  Needs needs;
  // Calls and judges: empty text when the answer is the one above, otherwise
  // what came instead.
  std::function<std::string(const Seen&)> check;
  // Why Windows' answer cannot be settled from the sources; the check then
  // holds the simulated stack to its own answer, and the real interface
  // only reports what it gives.
  const char* unsettled = nullptr;
  // What Wine 8 answers where it differs from Windows.
  const char* wine8 = nullptr;
};

const std::vector<Row>& Table();

bool Applies(const Row& row, const Seen& seen);

// "Q5 QueryDisplayConfig (input): Windows answers ... [source]"
std::string Describe(const Row& row);

}  // namespace contract
