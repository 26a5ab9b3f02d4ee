// When the agent starts displayprep: the rule over what the system says of a
// session, as data, so that every combination of event and session is
// settled in one place and tested as a table. No Windows header.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

inline constexpr std::uint32_t kNoConsoleSession = 0xFFFFFFFF;

enum class AgentEvent {
  kServiceStart,    // the service has just started: is a user already at the console?
  kLogon,           // WTS_SESSION_LOGON
  kConsoleConnect,  // WTS_CONSOLE_CONNECT
  kLogoff,          // WTS_SESSION_LOGOFF
  kRunEnded,        // the run in progress has ended: a deferred event is looked at again
};

// What the system said of the session an event names, asked when it came.
struct SessionFacts {
  std::uint32_t session = 0;
  std::uint32_t consoleSession = kNoConsoleSession;  // WTSGetActiveConsoleSessionId
  bool remote = false;                               // a client protocol other than the console's
  bool userLoggedOn = false;                         // WTSQueryUserToken answered for it
};

// What the agent remembers between events.
struct AgentState {
  std::optional<std::uint32_t> running;  // the session a run is going on for
  std::set<std::uint32_t> ranThisLogon;  // sessions run for since their logon
  std::optional<std::uint32_t> pending;  // looked at again when the run ends
};

enum class Verdict { kStart, kSkip, kDefer };

struct Decision {
  Verdict verdict = Verdict::kSkip;
  std::string reason;  // for the agent's log
};

// Decides on one event and updates `state`: a start marks the session as run
// for this logon and running; a logon or logoff forgets the earlier logon's
// run; a deferral remembers the session until the run ends. Runs happen only
// for the console session with a user logged on, never for session 0 or a
// remote session, once per logon and one at a time.
Decision Decide(AgentState& state, AgentEvent event, const SessionFacts& facts);

// The run in progress has ended: forgets it and hands back the session a
// deferred event named, to be decided again (kRunEnded) on fresh facts.
std::optional<std::uint32_t> RunEnded(AgentState& state);

// "logon", "console connect" ... for the log.
const char* EventName(AgentEvent event);
