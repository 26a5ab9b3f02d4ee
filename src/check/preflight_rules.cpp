// The check's rules over what the system answered, and its report's form:
// no Windows call here, so that each answer is a row of a table.
#include <algorithm>

#include "check/preflight.h"

namespace {

std::string Number(unsigned long value) { return std::to_string(value); }

std::string KindName(BlockerKind kind) {
  switch (kind) {
    case BlockerKind::kContext:
      return "context";
    case BlockerKind::kDisplays:
      return "displays";
    case BlockerKind::kFiles:
      return "files";
  }
  return "?";
}

}  // namespace

int PreflightReport::ExitCode() const {
  if (blockers.empty()) return kPreflightGoal;
  int code = static_cast<int>(blockers.front().kind);
  for (const Blocker& b : blockers) code = std::min(code, static_cast<int>(b.kind));
  return code;
}

PreflightLine JudgeContext(const ContextFacts& f, std::vector<Blocker>& blockers) {
  std::string text = f.account + ", in ";
  const bool remote = f.clientProtocol.value_or(0) != 0;
  if (!f.ownSession) {
    text += "an unknown session (error " + Number(f.ownSessionError) + ")";
  } else {
    text += "session " + Number(*f.ownSession);
  }
  const std::string console =
      f.consoleSession == kPreflightNoSession ? "none" : Number(f.consoleSession);
  if (f.ownSession == 0u) {
    text += ", the services' session (the console's is " + console + "): no user's desktop";
    blockers.push_back({BlockerKind::kContext,
                        "session 0 (a task or a service run as SYSTEM) has no access to the "
                        "user's displays",
                        kPreflightRouteFix});
  } else if (remote) {
    text += ", a remote session (client protocol " + Number(*f.clientProtocol) +
            "; the console's is " + console + ")";
    blockers.push_back({BlockerKind::kContext,
                        "a remote-desktop session cannot change the console's displays",
                        kPreflightRouteFix});
  } else if (f.consoleSession == kPreflightNoSession) {
    text += ", local; no session is attached to the console";
    blockers.push_back({BlockerKind::kContext, "no session is attached to the console",
                        "run it while a user is logged on at the console"});
  } else if (f.ownSession && *f.ownSession == f.consoleSession) {
    text += ", the console session, local";
  } else {
    text += ", local, not the console session (" + console + ")";
    blockers.push_back({BlockerKind::kContext,
                        "not the console session: the display calls act in the caller's session",
                        kPreflightRouteFix});
  }
  return {"context", text};
}

PreflightLine JudgeDisplayCalls(LONG sizesResult, UINT32 paths, UINT32 modes,
                                std::vector<Blocker>& blockers) {
  if (sizesResult != ERROR_SUCCESS) {
    std::string text = "refused with error " + std::to_string(sizesResult);
    if (sizesResult == ERROR_ACCESS_DENIED)
      text += " (no access to the console session's displays)";
    blockers.push_back({BlockerKind::kDisplays,
                        "the display calls are refused (error " + std::to_string(sizesResult) + ")",
                        kPreflightRouteFix});
    return {"display calls", text};
  }
  if (paths == 0 || modes == 0) {
    blockers.push_back(
        {BlockerKind::kDisplays,
         "the system lists no display (" + Number(paths) + " paths, " + Number(modes) + " modes)",
         "run it in the console user's session, where a display is connected "
         "(session 0 sees none): as the user at logon, or through the agent"});
    return {"display calls", "answered, but with no display (" + Number(paths) + " paths, " +
                                 Number(modes) + " modes)"};
  }
  return {"display calls", "answered"};
}

PreflightLine JudgeListing(bool callsAnswer, bool listed, std::size_t count, bool targetListed,
                           std::vector<Blocker>& blockers) {
  if (!listed && callsAnswer)
    blockers.push_back({BlockerKind::kDisplays,
                        "the listing fails although the display calls answer: the run stops at "
                        "its first failed listing",
                        "look for the display driver's trouble; the run's log names the call "
                        "that fails"});
  if (count >= 3) {
    blockers.push_back({BlockerKind::kDisplays,
                        "three or more displays are listed: a run changes nothing",
                        "leave at most one display connected besides the virtual monitor"});
    return {"a run", "changes nothing: three or more displays are listed"};
  }
  if (count == 2) {
    if (!targetListed)
      blockers.push_back({BlockerKind::kDisplays, "neither listed display is TovikMonitor",
                          "disconnect the second display so that the virtual monitor is "
                          "provisioned"});
    return {"a run", targetListed ? "arranges the two displays and makes TovikMonitor primary"
                                  : "arranges the two displays, but neither is TovikMonitor"};
  }
  // None listed may still be two once the virtual monitor is there: the
  // extend topology switches on what is connected but not shown.
  return {"a run", "provisions the virtual monitor, then arranges"};
}

std::string FormatPreflightReport(const PreflightReport& report) {
  std::string out;
  for (const PreflightLine& l : report.lines) out += l.label + ": " + l.text + "\n";
  for (const Blocker& b : report.blockers)
    out += "blocker (" + KindName(b.kind) + "): " + b.what + ": " + b.fix + "\n";
  const int code = report.ExitCode();
  if (code == kPreflightGoal) {
    out += "verdict: a run would reach its goal\n";
  } else {
    out += "verdict: a run would not reach its goal (exit code " + std::to_string(code) + ", " +
           KindName(static_cast<BlockerKind>(code)) + ")\n";
  }
  return out;
}
