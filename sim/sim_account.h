// The account and session a simulated program runs in, chosen per run by the
// environment variable DPSIM_ACCOUNT. Windows answers the display and session
// calls differently in each of the three contexts a deployment can put the
// program in; the simulated stack answers as Windows documents it for each.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace sim {

enum class Context {
  // Unset or "system": the local system account in the console session, as a
  // service's agent starts it with a duplicate of its own token. Display
  // calls answered, the user's token granted.
  kSystemConsole,
  // "user": an ordinary account in its own (the console) session, as a Run
  // value or a logon task as the user starts it. Display calls answered,
  // WTSQueryUserToken refused with ERROR_PRIVILEGE_NOT_HELD.
  kUser,
  // "system-session0": the local system account in session 0, as a task or a
  // service run as SYSTEM starts it. Every display-configuration call refused
  // with ERROR_ACCESS_DENIED (no access to the console session), the user's
  // token granted, the program's own session 0.
  kSystemSession0,
};

// The names DPSIM_ACCOUNT takes, for messages.
inline constexpr const char* kContextNames = "system, user, system-session0";

// The context of this run; nullopt for an unknown value, with the reason.
std::optional<Context> CurrentContext(std::string* why);

// Parses one value of DPSIM_ACCOUNT (empty: the default).
std::optional<Context> ParseContext(const std::wstring& value);

// The Windows code a display-configuration call answers before doing anything
// in this context (ERROR_SUCCESS: it goes on). An unknown DPSIM_ACCOUNT
// answers ERROR_GEN_FAILURE, with the reason on standard error.
LONG DisplayAccessError();

}  // namespace sim
