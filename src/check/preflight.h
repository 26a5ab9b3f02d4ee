// The pre-flight check: would a run of displayprep work here, as this
// account, now? It runs the program's own units (listing, settings, profile
// choice, profile reading, session choice) with their messages taken by a
// log sink, so that it writes no log line, starts nothing and changes no
// display, and reports what they return, one line each. Whatever would keep
// a run from its goal is a blocker, of one of three kinds, each with what to
// do about it; the exit code names the kind.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct PreflightLine {
  std::string label;  // "context", "display calls", "displays", ...
  std::string text;
};

// The kinds of blocker, by exit code; a run blocked in several ways exits
// with the first of them in this order (the one to mend first).
enum class BlockerKind {
  kContext = 2,   // the account or session: session 0, a remote session, ...
  kDisplays = 3,  // what the display calls answer: refused, nothing, too many
  kFiles = 4,     // what stands beside the program: profiles, helper, companion, rights
};
inline constexpr int kPreflightGoal = 0;

struct Blocker {
  BlockerKind kind = BlockerKind::kFiles;
  std::string what;  // "the display calls are refused (error 5)"
  std::string fix;   // "run it as the user at logon, or install the agent"
};

struct PreflightReport {
  std::vector<PreflightLine> lines;
  std::vector<Blocker> blockers;  // empty: a run would reach its goal
  int ExitCode() const;
};

// Checks the deployment in `exeDir` (narrow, ANSI code page) / `exeDirW` (the
// same directory in full).
PreflightReport RunPreflight(const std::string& exeDir, const std::wstring& exeDirW);

// The report as printed: "label: text" a line, then one "blocker: what: fix"
// line per blocker, then the verdict with its exit code.
std::string FormatPreflightReport(const PreflightReport& report);

// The rules behind the context and display-call lines, over what the system
// answered, so that each answer is a row of a table.

inline constexpr DWORD kPreflightNoSession = 0xFFFFFFFF;

// What to do when the account or session cannot reach the user's displays.
inline constexpr const char* kPreflightRouteFix =
    "run it in the console user's session: as the user at logon (a Run value or a logon task), "
    "or install the agent (displayprep-agent.exe install)";

struct ContextFacts {
  std::string account;  // "DOMAIN\name, the local system account" ...
  std::optional<DWORD> ownSession;
  DWORD ownSessionError = 0;  // why it is unknown
  DWORD consoleSession = kPreflightNoSession;
  std::optional<USHORT> clientProtocol;  // WTSClientProtocolType of its session
};
PreflightLine JudgeContext(const ContextFacts& facts, std::vector<Blocker>& blockers);

// What a run does with the listing it starts from (`listed`: the listing
// succeeded; `count` displays in it, the virtual monitor among them or not),
// and the blockers in it. `callsAnswer`: the display calls answered with
// displays (a listing that fails then is a blocker of its own).
PreflightLine JudgeListing(bool callsAnswer, bool listed, std::size_t count, bool targetListed,
                           std::vector<Blocker>& blockers);

// The sizes call for all paths, as the run's first listing makes it.
PreflightLine JudgeDisplayCalls(LONG sizesResult, UINT32 paths, UINT32 modes,
                                std::vector<Blocker>& blockers);
