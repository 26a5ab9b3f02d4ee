// Tests that link dp_fake_session instead of the real session calls script
// what the system answers, fail any call with a chosen error, and see every
// token, block, snapshot, list and handle handed out and whether it was
// released.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wtsapi32.h>

#include <map>
#include <string>
#include <vector>

namespace fakesession {

enum class Call {
  WTSGetActiveConsoleSessionId,
  WTSEnumerateSessionsW,
  CreateToolhelp32Snapshot,
  Process32FirstW,
  ProcessIdToSessionId,
  WTSQueryUserToken,
  DuplicateTokenEx,
  CreateEnvironmentBlock,
  CreateProcessAsUserW,
  OpenProcessToken,
  SetTokenInformation,
  WTSQuerySessionInformationW,
};

struct Process {
  DWORD processId = 0;
  std::wstring exeFile;
  DWORD sessionId = 1;
  bool sessionLookupFails = false;
};

struct Script {
  DWORD consoleSession = 1;                 // 0xFFFFFFFF: none attached to the console
  DWORD consoleError = 0;                   // the last error left by that answer
  std::vector<WTS_SESSION_INFOW> sessions;  // only SessionId and State matter
  std::vector<Process> processes;
  USHORT clientProtocol = 0;  // WTSClientProtocolType: 0 the console, 2 RDP
  // The call fails (FALSE, INVALID_HANDLE_VALUE or 0xFFFFFFFF) with this last error.
  std::map<Call, DWORD> failures;
};

// What CreateProcessAsUserW was given.
struct Creation {
  HANDLE token = nullptr;
  bool applicationNameNull = false;
  std::wstring applicationName;
  std::wstring commandLine;
  bool inheritHandles = true;
  DWORD creationFlags = 0;
  const void* environment = nullptr;
  bool currentDirectoryNull = false;
  std::wstring currentDirectory;
  DWORD cb = 0;
  std::wstring desktop;
  DWORD startupFlags = 0;
  WORD showWindow = 0;
  DWORD processId = 0;  // what the fake answered
};

// What DuplicateTokenEx was given, and the duplicate it handed out (null
// when it failed).
struct Duplication {
  HANDLE token = nullptr;
  HANDLE duplicate = nullptr;
  DWORD access = 0;
  SECURITY_IMPERSONATION_LEVEL level = SecurityAnonymous;
  TOKEN_TYPE type = TokenImpersonation;
};

// What SetTokenInformation(TokenSessionId) was given.
struct SessionSetting {
  HANDLE token = nullptr;
  DWORD sessionId = 0;
};

// Starts afresh with `script`: nothing handed out, nothing called.
void Reset(const Script& script);

int CallCount(Call call);
const std::vector<Creation>& Creations();
const std::vector<Duplication>& Duplications();
const std::vector<SessionSetting>& SessionSettings();
// The tokens CreateEnvironmentBlock was given, in order.
const std::vector<HANDLE>& EnvironmentTokens();
// Everything handed out of one kind ("own token", "user token", ...), in
// order, released or not.
std::vector<const void*> Handed(const std::string& kind);
// The kinds of everything handed out and not released ("user token",
// "primary token", "own token", "environment block", "snapshot",
// "session list", "session information", "process handle", "thread
// handle"), one entry each.
std::vector<std::string> Unreleased();
// How many handed-out things there were, and releases of something never
// handed out or already released.
int HandedOut();
int BadReleases();
// The session id WTSQueryUserToken was asked for, last.
DWORD QueriedSession();

}  // namespace fakesession
