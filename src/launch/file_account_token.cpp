#include "launch/file_account_token.h"

#include <userenv.h>

#include "common/account_api.h"
#include "common/file_account.h"
#include "launch/session_api.h"

HANDLE FileAccountForRun() {
  if (!accountapi::CurrentAccount().localSystem) return nullptr;
  wchar_t appData[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const DWORD session = sessionapi::WTSGetActiveConsoleSessionId();
  HANDLE user = nullptr;
  if (session == 0xFFFFFFFF || !sessionapi::WTSQueryUserToken(session, &user)) return nullptr;
  wchar_t profile[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!GetUserProfileDirectoryW(user, profile, &size) ||
      !WritesAsTheUser(true, std::wstring(appData, n), profile)) {
    sessionapi::CloseHandle(user);
    return nullptr;
  }
  return user;
}
