// The simulated build's session calls, per context (sim/sim_account.h). Wine
// answers them as Windows answers the local system account in the console
// session: the user's token for any session, the program's own session the
// console's, a console (not remote) session. The other contexts differ where
// Windows documents it:
// - an ordinary account (in the console session or a remote one):
//   WTSQueryUserToken fails with ERROR_PRIVILEGE_NOT_HELD (1314), as for any
//   caller without the "act as part of the operating system" privilege;
//   displayprep then falls back to the direct launch;
// - the local system account in session 0 (a task or service run as SYSTEM):
//   the token is granted (the caller is LocalSystem), the console session is
//   still the console's (WTSGetActiveConsoleSessionId answers for the machine,
//   not the caller), but the program itself lives in session 0, "the session
//   of any program running in the context of a service";
// - a remote-desktop session: the program lives in session 2, whose client
//   protocol is RDP (2), while the console keeps its own session.
// The other session calls are the system's (src/launch/session_api_win.cpp).
#include <optional>
#include <string>

#include "launch/session_api.h"
#include "sim/sim_account.h"

namespace sessionapi {

namespace {

bool IsOwnSession(DWORD sessionId) {
  return sessionId == WTS_CURRENT_SESSION || sessionId == sim::kRemoteSessionId;
}

}  // namespace

BOOL WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
  const std::optional<sim::Context> context = sim::CurrentContext(nullptr);
  if (!context) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  if (*context == sim::Context::kUser || *context == sim::Context::kRemote) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  return ::WTSQueryUserToken(SessionId, phToken);
}

BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId) {
  if (dwProcessId == GetCurrentProcessId() && pSessionId != nullptr) {
    const std::optional<sim::Context> context = sim::CurrentContext(nullptr);
    if (context == sim::Context::kSystemSession0 || context == sim::Context::kRemote) {
      *pSessionId = context == sim::Context::kRemote ? sim::kRemoteSessionId : 0;
      return TRUE;
    }
  }
  return ::ProcessIdToSessionId(dwProcessId, pSessionId);
}

BOOL WTSQuerySessionInformationW(HANDLE hServer, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                 LPWSTR* ppBuffer, DWORD* pBytesReturned) {
  if (WTSInfoClass == WTSClientProtocolType && ppBuffer != nullptr && pBytesReturned != nullptr &&
      IsOwnSession(SessionId) && sim::CurrentContext(nullptr) == sim::Context::kRemote) {
    // Handed out as the system hands it out, so that WTSFreeMemory frees it.
    LPWSTR buffer = nullptr;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(hServer, WTS_CURRENT_SESSION, WTSClientProtocolType, &buffer,
                                       &bytes) ||
        bytes < sizeof(USHORT))
      return FALSE;
    *reinterpret_cast<USHORT*>(buffer) = 2;  // RDP
    *ppBuffer = buffer;
    *pBytesReturned = bytes;
    return TRUE;
  }
  return ::WTSQuerySessionInformationW(hServer, SessionId, WTSInfoClass, ppBuffer, pBytesReturned);
}

}  // namespace sessionapi
