#include "launch/user_session.h"

#include <vector>

#include "common/exe_dir.h"
#include "common/quote.h"
#include "launch/companion.h"
#include "launch/seam_handle.h"
#include "launch/session_api.h"
#include "log/log.h"

namespace {

constexpr DWORD kNoSession = 0xFFFFFFFF;

int LastError() { return static_cast<int>(GetLastError()); }

std::vector<ListedSession> ListSessions() {
  PWTS_SESSION_INFOW list = nullptr;
  DWORD count = 0;
  // A failed call leaves the count at 0: it reads as an empty list.
  sessionapi::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &list, &count);
  std::vector<ListedSession> sessions;
  if (list != nullptr) {
    for (DWORD i = 0; i < count; ++i)
      sessions.push_back({list[i].SessionId, list[i].State == WTSActive});
    sessionapi::WTSFreeMemory(list);
  }
  return sessions;
}

// The processes named `name` with their sessions; other names need no lookup.
bool ListProcesses(const std::wstring& name, std::vector<SnapshotProcess>* processes) {
  SeamHandle snapshot(sessionapi::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (snapshot.get() == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  if (!sessionapi::Process32FirstW(snapshot.get(), &entry)) return false;
  do {
    SnapshotProcess p;
    p.processId = entry.th32ProcessID;
    p.exeFile = entry.szExeFile;
    if (ProcessNameMatches(p.exeFile, name)) {
      DWORD session = 0;
      if (sessionapi::ProcessIdToSessionId(entry.th32ProcessID, &session)) p.sessionId = session;
    }
    processes->push_back(std::move(p));
  } while (sessionapi::Process32NextW(snapshot.get(), &entry));
  return true;
}

}  // namespace

SessionChoice FindSessionByProcessName(const std::wstring& name) {
  const std::vector<ListedSession> sessions = ListSessions();
  std::vector<SnapshotProcess> processes;
  if (!ListProcesses(name, &processes)) return {};
  return ChooseSession(name, sessions, processes);
}

std::optional<DWORD> ChooseLaunchSession() {
  const DWORD console = sessionapi::WTSGetActiveConsoleSessionId();
  if (console != kNoSession) return console;
  LogMessage("Failed to get active session ID. Error: %d", LastError());
  SessionChoice choice = FindSessionByProcessName(L"explorer.exe");
  if (!choice.chosen()) choice = FindSessionByProcessName(L"winlogon.exe");
  if (!choice.chosen()) {
    LogMessage("can not find explorer or winlogon.");
    return std::nullopt;
  }
  return choice.sessionId;
}

bool LaunchProtectInUserSession() {
  return LaunchProtectInUserSessionFrom(GetExecutableDirectoryW());
}

bool LaunchProtectInUserSessionFrom(const std::wstring& exeDir) {
  const std::optional<std::wstring> found = CompanionToStart(exeDir, "LaunchProtectInUserSession");
  if (!found) return false;
  const std::wstring& companion = *found;

  const std::optional<DWORD> chosen = ChooseLaunchSession();
  if (!chosen) return false;
  const DWORD session = *chosen;

  SeamHandle userToken;
  if (!sessionapi::WTSQueryUserToken(session, userToken.out())) {
    LogMessage("WTSQueryUserToken failed. Error: %d", LastError());
    return false;
  }
  SeamHandle primaryToken;
  const BOOL duplicated =
      sessionapi::DuplicateTokenEx(userToken.get(), MAXIMUM_ALLOWED, nullptr,
                                   SecurityIdentification, TokenPrimary, primaryToken.out());
  const int duplicateError = LastError();
  userToken.Close();
  if (!duplicated) {
    LogMessage("DuplicateTokenEx failed. Error: %d", duplicateError);
    return false;
  }

  void* environment = nullptr;
  if (!sessionapi::CreateEnvironmentBlock(&environment, primaryToken.get(), FALSE)) {
    LogMessage("CreateEnvironmentBlock failed. Error: %d", LastError());
    return false;
  }

  std::wstring commandLine = QuoteIfContainsSpace(companion);
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  wchar_t desktop[] = L"winsta0\\default";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  const BOOL created = sessionapi::CreateProcessAsUserW(
      primaryToken.get(), nullptr, writable.data(), nullptr, nullptr, FALSE,
      CREATE_UNICODE_ENVIRONMENT, environment, nullptr, &startup, &process);
  const int createError = LastError();
  sessionapi::DestroyEnvironmentBlock(environment);
  primaryToken.Close();
  if (!created) {
    LogMessage("CreateProcessAsUser failed. Error: %d", createError);
    return false;
  }
  LogMessage("create process success, command_line:%ls, process_id:%lu.", commandLine.c_str(),
             static_cast<unsigned long>(process.dwProcessId));
  // The companion runs on its own; nothing here waits for it or keeps it.
  SeamHandle(process.hProcess).Close();
  SeamHandle(process.hThread).Close();
  return true;
}
