// The account and session a simulated program runs in, chosen per run by the
// environment variable DPSIM_ACCOUNT. Windows answers the display and session
// calls differently in each context a deployment can put the program in; the
// simulated stack answers as Windows is observed to answer in each.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace sim {

enum class Context {
  // Unset or "system": the local system account in the console session, as
  // the agent starts it with a duplicate of its own token. Display calls
  // answered, the user's token granted.
  kSystemConsole,
  // "user": an ordinary account in its own (the console) session, as a Run
  // value or a logon task as the user starts it. Display calls answered,
  // WTSQueryUserToken refused with ERROR_PRIVILEGE_NOT_HELD.
  kUser,
  // "system-session0": the local system account in session 0, as a task or a
  // service run as SYSTEM starts it. The display calls see no display at all
  // (the sizes call succeeds with 0 paths and 0 modes, as people who ran it
  // there report), the user's token granted, the program's own session 0.
  kSystemSession0,
  // "remote": an ordinary account in a remote-desktop session (session 2).
  // Every display-configuration call refused with ERROR_ACCESS_DENIED, as
  // Microsoft documents for a caller "running on a remote session";
  // WTSQueryUserToken refused with ERROR_PRIVILEGE_NOT_HELD.
  kRemote,
};

// The names DPSIM_ACCOUNT takes, for messages.
inline constexpr const char* kContextNames = "system, user, system-session0, remote";

// The session a remote-desktop context's program runs in.
inline constexpr DWORD kRemoteSessionId = 2;

// The context of this run; nullopt for an unknown value, with the reason.
std::optional<Context> CurrentContext(std::string* why);

// Parses one value of DPSIM_ACCOUNT (empty: the default).
std::optional<Context> ParseContext(const std::wstring& value);

// How a display-configuration call of this context is answered.
struct DisplayAccess {
  // Not ERROR_SUCCESS: the call answers this before doing anything (an
  // unknown DPSIM_ACCOUNT answers ERROR_GEN_FAILURE, with the reason on
  // standard error).
  LONG refusal = ERROR_SUCCESS;
  // The call sees a machine without any display and changes nothing.
  bool seesNoDisplay = false;
};
DisplayAccess CurrentDisplayAccess();

}  // namespace sim
