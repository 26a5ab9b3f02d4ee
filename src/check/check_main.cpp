// displayprep-check: answers "would a run of displayprep work here, as this
// account, now?" without changing anything: one line per finding on the
// console, one per blocker with what to do, exit code 0 only when a run
// would reach its goal, else the kind of the first blocker to mend
// (2 context, 3 displays, 4 files).
#include <cstdio>

#include "check/preflight.h"
#include "common/exe_dir.h"

int main() {
  const PreflightReport report = RunPreflight(GetExecutableDirectory(), GetExecutableDirectoryW());
  std::fputs(FormatPreflightReport(report).c_str(), stdout);
  std::fflush(stdout);
  return report.ExitCode();
}
