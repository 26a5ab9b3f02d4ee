#include "fake_session/fake_session.h"

#include <cstdint>

#include "launch/session_api.h"

namespace fakesession {
namespace {

struct State {
  Script script;
  std::map<Call, int> calls;
  std::vector<Creation> creations;
  std::vector<Duplication> duplications;
  std::vector<SessionSetting> sessionSettings;
  std::vector<HANDLE> environmentTokens;
  std::vector<std::pair<const void*, std::string>> handed;
  // Everything handed out, by its address, with its kind; erased on release.
  std::map<const void*, std::string> live;
  int handedOut = 0;
  int badReleases = 0;
  std::uintptr_t next = 0x10000;
  std::map<HANDLE, std::size_t> snapshotPosition;
  std::vector<std::vector<WTS_SESSION_INFOW>> lists;  // kept alive until Reset
  std::vector<std::vector<wchar_t>> blocks;
  std::vector<USHORT> protocols;
  DWORD queried = 0xFFFFFFFF;
};

State& S() {
  static State state;
  return state;
}

// Counts the call and answers whether it is to fail (with its last error set).
bool Fails(Call call) {
  ++S().calls[call];
  const auto f = S().script.failures.find(call);
  if (f == S().script.failures.end()) return false;
  SetLastError(f->second);
  return true;
}

// Hands out `what`, or a fresh handle when there is none, kept until released.
HANDLE HandOut(const std::string& kind, void* what = nullptr) {
  HANDLE h = what != nullptr ? what : reinterpret_cast<HANDLE>(S().next += 0x10);
  S().live[h] = kind;
  S().handed.emplace_back(h, kind);
  ++S().handedOut;
  return h;
}

void Release(const void* what) {
  if (S().live.erase(what) == 0) ++S().badReleases;
}

}  // namespace

void Reset(const Script& script) {
  S() = State();
  S().script = script;
}
int CallCount(Call call) { return S().calls[call]; }
const std::vector<Creation>& Creations() { return S().creations; }
const std::vector<Duplication>& Duplications() { return S().duplications; }
const std::vector<SessionSetting>& SessionSettings() { return S().sessionSettings; }
const std::vector<HANDLE>& EnvironmentTokens() { return S().environmentTokens; }
std::vector<const void*> Handed(const std::string& kind) {
  std::vector<const void*> handles;
  for (const auto& [what, k] : S().handed)
    if (k == kind) handles.push_back(what);
  return handles;
}
int HandedOut() { return S().handedOut; }
int BadReleases() { return S().badReleases; }
DWORD QueriedSession() { return S().queried; }

std::vector<std::string> Unreleased() {
  std::vector<std::string> kinds;
  for (const auto& [what, kind] : S().live) kinds.push_back(kind);
  return kinds;
}

}  // namespace fakesession

namespace sessionapi {

using fakesession::Call;
using fakesession::S;

DWORD WTSGetActiveConsoleSessionId() {
  if (fakesession::Fails(Call::WTSGetActiveConsoleSessionId)) return 0xFFFFFFFF;
  if (S().script.consoleSession == 0xFFFFFFFF) SetLastError(S().script.consoleError);
  return S().script.consoleSession;
}

BOOL WTSEnumerateSessionsW(HANDLE, DWORD, DWORD, PWTS_SESSION_INFOW* list, DWORD* count) {
  if (fakesession::Fails(Call::WTSEnumerateSessionsW)) return FALSE;
  S().lists.push_back(S().script.sessions);
  S().lists.back().reserve(1);  // a distinct address even for an empty list
  *list = S().lists.back().data();
  *count = static_cast<DWORD>(S().script.sessions.size());
  fakesession::HandOut("session list", *list);
  return TRUE;
}

void WTSFreeMemory(PVOID memory) { fakesession::Release(memory); }

HANDLE CreateToolhelp32Snapshot(DWORD, DWORD) {
  if (fakesession::Fails(Call::CreateToolhelp32Snapshot)) return INVALID_HANDLE_VALUE;
  HANDLE h = fakesession::HandOut("snapshot");
  S().snapshotPosition[h] = 0;
  return h;
}

namespace {
BOOL Entry(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  std::size_t& at = S().snapshotPosition[snapshot];
  if (entry->dwSize != sizeof(PROCESSENTRY32W) || at >= S().script.processes.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  const fakesession::Process& p = S().script.processes[at++];
  entry->th32ProcessID = p.processId;
  wcsncpy(entry->szExeFile, p.exeFile.c_str(), MAX_PATH - 1);
  entry->szExeFile[MAX_PATH - 1] = L'\0';
  return TRUE;
}
}  // namespace

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry) {
  if (fakesession::Fails(Call::Process32FirstW)) return FALSE;
  S().snapshotPosition[snapshot] = 0;
  return Entry(snapshot, entry);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry) { return Entry(snapshot, entry); }

BOOL ProcessIdToSessionId(DWORD processId, DWORD* session) {
  if (fakesession::Fails(Call::ProcessIdToSessionId)) return FALSE;
  for (const fakesession::Process& p : S().script.processes) {
    if (p.processId != processId) continue;
    if (p.sessionLookupFails) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    *session = p.sessionId;
    return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL WTSQueryUserToken(ULONG session, PHANDLE token) {
  S().queried = session;
  if (fakesession::Fails(Call::WTSQueryUserToken)) return FALSE;
  *token = fakesession::HandOut("user token");
  return TRUE;
}

BOOL DuplicateTokenEx(HANDLE existing, DWORD access, LPSECURITY_ATTRIBUTES,
                      SECURITY_IMPERSONATION_LEVEL level, TOKEN_TYPE type, PHANDLE newToken) {
  S().duplications.push_back({existing, nullptr, access, level, type});
  if (fakesession::Fails(Call::DuplicateTokenEx)) return FALSE;
  *newToken = S().duplications.back().duplicate = fakesession::HandOut("primary token");
  return TRUE;
}

BOOL CreateEnvironmentBlock(LPVOID* environment, HANDLE token, BOOL) {
  S().environmentTokens.push_back(token);
  if (fakesession::Fails(Call::CreateEnvironmentBlock)) return FALSE;
  S().blocks.push_back({L'A', L'=', L'1', L'\0', L'\0'});
  *environment = S().blocks.back().data();
  fakesession::HandOut("environment block", *environment);
  return TRUE;
}

BOOL DestroyEnvironmentBlock(LPVOID environment) {
  fakesession::Release(environment);
  return TRUE;
}

BOOL CreateProcessAsUserW(HANDLE token, LPCWSTR applicationName, LPWSTR commandLine,
                          LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL inheritHandles,
                          DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                          LPSTARTUPINFOW startup, LPPROCESS_INFORMATION process) {
  fakesession::Creation c;
  c.token = token;
  c.applicationNameNull = applicationName == nullptr;
  c.applicationName = applicationName ? applicationName : L"";
  c.commandLine = commandLine ? commandLine : L"";
  c.inheritHandles = inheritHandles != FALSE;
  c.creationFlags = creationFlags;
  c.environment = environment;
  c.currentDirectoryNull = currentDirectory == nullptr;
  c.currentDirectory = currentDirectory ? currentDirectory : L"";
  c.cb = startup->cb;
  c.desktop = startup->lpDesktop ? startup->lpDesktop : L"";
  c.startupFlags = startup->dwFlags;
  c.showWindow = startup->wShowWindow;
  if (fakesession::Fails(Call::CreateProcessAsUserW)) {
    S().creations.push_back(c);
    return FALSE;
  }
  process->hProcess = fakesession::HandOut("process handle");
  process->hThread = fakesession::HandOut("thread handle");
  process->dwProcessId = c.processId = 4242;
  process->dwThreadId = 4243;
  S().creations.push_back(c);
  return TRUE;
}

BOOL WTSQuerySessionInformationW(HANDLE, DWORD, WTS_INFO_CLASS infoClass, LPWSTR* buffer,
                                 DWORD* bytes) {
  if (fakesession::Fails(Call::WTSQuerySessionInformationW)) return FALSE;
  if (infoClass != WTSClientProtocolType) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  S().protocols.reserve(16);  // the addresses handed out stay put
  S().protocols.push_back(S().script.clientProtocol);
  *buffer = reinterpret_cast<LPWSTR>(&S().protocols.back());
  *bytes = sizeof(USHORT);
  fakesession::HandOut("session information", *buffer);
  return TRUE;
}

BOOL OpenProcessToken(HANDLE, DWORD, PHANDLE token) {
  if (fakesession::Fails(Call::OpenProcessToken)) return FALSE;
  *token = fakesession::HandOut("own token");
  return TRUE;
}

BOOL SetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS infoClass, LPVOID information,
                         DWORD length) {
  if (infoClass == TokenSessionId && length == sizeof(DWORD))
    S().sessionSettings.push_back({token, *static_cast<DWORD*>(information)});
  return fakesession::Fails(Call::SetTokenInformation) ? FALSE : TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  // Closing is how tokens, snapshots and process handles are released.
  fakesession::Release(handle);
  return TRUE;
}

}  // namespace sessionapi
