// The session calls whose answers depend on the account and session the
// program runs in; the simulated build answers them per context instead
// (sim/sim_session.cpp).
#include "launch/session_api.h"

namespace sessionapi {

BOOL WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
  return ::WTSQueryUserToken(SessionId, phToken);
}

BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId) {
  return ::ProcessIdToSessionId(dwProcessId, pSessionId);
}

BOOL WTSQuerySessionInformationW(HANDLE hServer, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                 LPWSTR* ppBuffer, DWORD* pBytesReturned) {
  return ::WTSQuerySessionInformationW(hServer, SessionId, WTSInfoClass, ppBuffer, pBytesReturned);
}

}  // namespace sessionapi
