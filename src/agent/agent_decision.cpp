#include "agent/agent_decision.h"

Decision Decide(AgentState& state, AgentEvent event, const SessionFacts& facts) {
  const std::uint32_t s = facts.session;
  if (event == AgentEvent::kLogoff) {
    state.ranThisLogon.erase(s);
    if (state.pending == s) state.pending.reset();
    return {Verdict::kSkip, "the user logged off"};
  }
  // A new logon is a new user's day, whatever ran in that session before.
  if (event == AgentEvent::kLogon) state.ranThisLogon.erase(s);
  if (event == AgentEvent::kRunEnded && state.pending == s) state.pending.reset();

  if (s == 0) return {Verdict::kSkip, "session 0 has no user's desktop"};
  if (facts.consoleSession == kNoConsoleSession)
    return {Verdict::kSkip, "no session is attached to the console"};
  if (s != facts.consoleSession)
    return {Verdict::kSkip,
            "not the console session (" + std::to_string(facts.consoleSession) + ")"};
  if (facts.remote) return {Verdict::kSkip, "a remote session"};
  if (!facts.userLoggedOn) return {Verdict::kSkip, "no user is logged on"};
  if (state.ranThisLogon.count(s) != 0) return {Verdict::kSkip, "already run for this logon"};
  if (state.running) {
    state.pending = s;
    return {Verdict::kDefer, "a run is in progress; looked at again when it ends"};
  }
  state.running = s;
  state.ranThisLogon.insert(s);
  return {Verdict::kStart, "the console session, a user logged on"};
}

std::optional<std::uint32_t> RunEnded(AgentState& state) {
  state.running.reset();
  return state.pending;
}

const char* EventName(AgentEvent event) {
  switch (event) {
    case AgentEvent::kServiceStart:
      return "service start";
    case AgentEvent::kLogon:
      return "logon";
    case AgentEvent::kConsoleConnect:
      return "console connect";
    case AgentEvent::kLogoff:
      return "logoff";
    case AgentEvent::kRunEnded:
      return "after the run";
  }
  return "event";
}
