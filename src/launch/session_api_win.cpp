#include <userenv.h>

// Every session call but WTSQueryUserToken, ProcessIdToSessionId and
// WTSQuerySessionInformationW (session_token_win.cpp), which the simulated
// build answers per context.
#include "launch/session_api.h"

namespace sessionapi {

DWORD WTSGetActiveConsoleSessionId() { return ::WTSGetActiveConsoleSessionId(); }

BOOL WTSEnumerateSessionsW(HANDLE hServer, DWORD Reserved, DWORD Version,
                           PWTS_SESSION_INFOW* ppSessionInfo, DWORD* pCount) {
  return ::WTSEnumerateSessionsW(hServer, Reserved, Version, ppSessionInfo, pCount);
}

void WTSFreeMemory(PVOID pMemory) { ::WTSFreeMemory(pMemory); }

HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID) {
  return ::CreateToolhelp32Snapshot(dwFlags, th32ProcessID);
}

BOOL Process32FirstW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe) {
  return ::Process32FirstW(hSnapshot, lppe);
}

BOOL Process32NextW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe) {
  return ::Process32NextW(hSnapshot, lppe);
}

BOOL DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess,
                      LPSECURITY_ATTRIBUTES lpTokenAttributes,
                      SECURITY_IMPERSONATION_LEVEL ImpersonationLevel, TOKEN_TYPE TokenType,
                      PHANDLE phNewToken) {
  return ::DuplicateTokenEx(hExistingToken, dwDesiredAccess, lpTokenAttributes, ImpersonationLevel,
                            TokenType, phNewToken);
}

BOOL CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL bInherit) {
  return ::CreateEnvironmentBlock(lpEnvironment, hToken, bInherit);
}

BOOL DestroyEnvironmentBlock(LPVOID lpEnvironment) {
  return ::DestroyEnvironmentBlock(lpEnvironment);
}

BOOL CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                          LPSECURITY_ATTRIBUTES lpProcessAttributes,
                          LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                          DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                          LPSTARTUPINFOW lpStartupInfo,
                          LPPROCESS_INFORMATION lpProcessInformation) {
  return ::CreateProcessAsUserW(hToken, lpApplicationName, lpCommandLine, lpProcessAttributes,
                                lpThreadAttributes, bInheritHandles, dwCreationFlags, lpEnvironment,
                                lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle) {
  return ::OpenProcessToken(ProcessHandle, DesiredAccess, TokenHandle);
}

BOOL SetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                         LPVOID TokenInformation, DWORD TokenInformationLength) {
  return ::SetTokenInformation(TokenHandle, TokenInformationClass, TokenInformation,
                               TokenInformationLength);
}

BOOL CloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

}  // namespace sessionapi
