// The pre-flight check: would a run of displayprep work here, as this
// account, now? It runs the program's own units (listing, settings, profile
// choice, session choice) with their messages taken by a log sink, so that it
// writes no log line, starts nothing and changes no display, and reports what
// it found one line each.
#pragma once

#include <string>
#include <vector>

struct PreflightLine {
  std::string label;  // "account", "session", "display calls", ...
  std::string text;
};

struct PreflightReport {
  std::vector<PreflightLine> lines;
  // What would keep a run from its goal (the virtual monitor primary and the
  // companion started); empty when a run would reach it.
  std::vector<std::string> blockers;
  bool wouldReachGoal() const { return blockers.empty(); }
};

// Checks the deployment in `exeDir` (narrow, ANSI code page) / `exeDirW` (the
// same directory in full).
PreflightReport RunPreflight(const std::string& exeDir, const std::wstring& exeDirW);

// The report as printed: "label: text" a line, then "verdict: ...".
std::string FormatPreflightReport(const PreflightReport& report);
