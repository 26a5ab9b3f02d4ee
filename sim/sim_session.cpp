// The simulated build's session calls, per context (sim/sim_account.h). Wine
// answers them as Windows answers the local system account in the console
// session: the user's token for any session, the program's own session the
// console's. The two other contexts differ where Windows documents it:
// - an ordinary account: WTSQueryUserToken fails with ERROR_PRIVILEGE_NOT_HELD
//   (1314), as for any caller without the "act as part of the operating
//   system" privilege; displayprep then falls back to the direct launch;
// - the local system account in session 0 (a task or service run as SYSTEM):
//   the token is granted (the caller is LocalSystem), the console session is
//   still the console's (WTSGetActiveConsoleSessionId answers for the machine,
//   not the caller), but the program itself lives in session 0, "the session
//   of any program running in the context of a service".
// The other session calls are the system's (src/launch/session_api_win.cpp).
#include <optional>
#include <string>

#include "launch/session_api.h"
#include "sim/sim_account.h"

namespace sessionapi {

BOOL WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
  const std::optional<sim::Context> context = sim::CurrentContext(nullptr);
  if (!context) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  if (*context == sim::Context::kUser) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  return ::WTSQueryUserToken(SessionId, phToken);
}

BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId) {
  if (dwProcessId == GetCurrentProcessId() && pSessionId != nullptr &&
      sim::CurrentContext(nullptr) == sim::Context::kSystemSession0) {
    *pSessionId = 0;
    return TRUE;
  }
  return ::ProcessIdToSessionId(dwProcessId, pSessionId);
}

}  // namespace sessionapi
