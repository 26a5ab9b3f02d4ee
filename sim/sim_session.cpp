// The simulated build's user token: Wine answers WTSQueryUserToken for any
// session, as Windows does for the local system account. With
// DPSIM_ACCOUNT=user the program runs as an ordinary account instead, and the
// call fails with ERROR_PRIVILEGE_NOT_HELD, as Windows answers a caller
// without the "act as part of the operating system" privilege: the case in
// which displayprep falls back to the direct launch. The other session calls
// are the system's (src/launch/session_api_win.cpp).
#include <string>

#include "launch/session_api.h"

namespace sessionapi {

BOOL WTSQueryUserToken(ULONG SessionId, PHANDLE phToken) {
  wchar_t value[16];
  const DWORD n = GetEnvironmentVariableW(L"DPSIM_ACCOUNT", value, 16);
  if (n > 0 && n < 16 && std::wstring(value, n) == L"user") {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  return ::WTSQueryUserToken(SessionId, phToken);
}

}  // namespace sessionapi
