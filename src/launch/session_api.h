// The session seam: the Windows calls the user-session launch and the agent's
// start make, with their Windows signatures. The programs link session_api_win.cpp (straight
// through to the system); unit tests link a scripted fake that can fail any
// call and counts what was opened and what was released, because under Wine
// these calls never fail and a console session always exists.
#pragma once

#include <windows.h>
// After windows.h, which they need.
#include <tlhelp32.h>
#include <wtsapi32.h>

namespace sessionapi {

DWORD WTSGetActiveConsoleSessionId();
BOOL WTSEnumerateSessionsW(HANDLE hServer, DWORD Reserved, DWORD Version,
                           PWTS_SESSION_INFOW* ppSessionInfo, DWORD* pCount);
void WTSFreeMemory(PVOID pMemory);
HANDLE CreateToolhelp32Snapshot(DWORD dwFlags, DWORD th32ProcessID);
BOOL Process32FirstW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe);
BOOL Process32NextW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe);
BOOL ProcessIdToSessionId(DWORD dwProcessId, DWORD* pSessionId);
BOOL WTSQueryUserToken(ULONG SessionId, PHANDLE phToken);
BOOL WTSQuerySessionInformationW(HANDLE hServer, DWORD SessionId, WTS_INFO_CLASS WTSInfoClass,
                                 LPWSTR* ppBuffer, DWORD* pBytesReturned);
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
BOOL SetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                         LPVOID TokenInformation, DWORD TokenInformationLength);
BOOL DuplicateTokenEx(HANDLE hExistingToken, DWORD dwDesiredAccess,
                      LPSECURITY_ATTRIBUTES lpTokenAttributes,
                      SECURITY_IMPERSONATION_LEVEL ImpersonationLevel, TOKEN_TYPE TokenType,
                      PHANDLE phNewToken);
BOOL CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL bInherit);
BOOL DestroyEnvironmentBlock(LPVOID lpEnvironment);
BOOL CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                          LPSECURITY_ATTRIBUTES lpProcessAttributes,
                          LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                          DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                          LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation);
BOOL CloseHandle(HANDLE hObject);

}  // namespace sessionapi
