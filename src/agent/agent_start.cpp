#include "agent/agent_start.h"

#include <vector>

#include "launch/seam_handle.h"
#include "launch/session_api.h"

namespace {

AgentStart Failed(const char* step, DWORD error) {
  AgentStart result;
  result.failure = std::string(step) + " failed (error " + std::to_string(error) + ")";
  return result;
}

}  // namespace

SessionFacts AskAboutSession(DWORD session) {
  SessionFacts facts;
  facts.session = session;
  facts.consoleSession = sessionapi::WTSGetActiveConsoleSessionId();
  LPWSTR protocol = nullptr;
  DWORD bytes = 0;
  if (sessionapi::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session,
                                              WTSClientProtocolType, &protocol, &bytes)) {
    // 0 is the console; anything else (RDP's 2) a remote client.
    facts.remote = bytes >= sizeof(USHORT) && *reinterpret_cast<USHORT*>(protocol) != 0;
    sessionapi::WTSFreeMemory(protocol);
  }
  SeamHandle user;
  facts.userLoggedOn = sessionapi::WTSQueryUserToken(session, user.out()) != FALSE;
  return facts;
}

AgentStart StartInSession(const std::wstring& program, const std::wstring& directory,
                          DWORD session) {
  SeamHandle own;
  if (!sessionapi::OpenProcessToken(GetCurrentProcess(),
                                    TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY |
                                        TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
                                    own.out()))
    return Failed("OpenProcessToken", GetLastError());
  SeamHandle system;
  const BOOL duplicated = sessionapi::DuplicateTokenEx(
      own.get(), MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, system.out());
  const DWORD duplicateError = GetLastError();
  own.Close();
  if (!duplicated) return Failed("DuplicateTokenEx", duplicateError);
  // Needs SE_TCB_NAME, which the local system account holds.
  if (!sessionapi::SetTokenInformation(system.get(), TokenSessionId, &session, sizeof session))
    return Failed("SetTokenInformation(TokenSessionId)", GetLastError());

  // The user's environment: their APPDATA, so their store.dat and log.
  SeamHandle user;
  if (!sessionapi::WTSQueryUserToken(session, user.out()))
    return Failed("WTSQueryUserToken", GetLastError());
  void* environment = nullptr;
  const BOOL built = sessionapi::CreateEnvironmentBlock(&environment, user.get(), FALSE);
  const DWORD environmentError = GetLastError();
  user.Close();
  if (!built) return Failed("CreateEnvironmentBlock", environmentError);

  std::wstring commandLine = L"\"" + program + L"\"";
  std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
  writable.push_back(L'\0');
  wchar_t desktop[] = L"winsta0\\default";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION process = {};
  const BOOL created = sessionapi::CreateProcessAsUserW(
      system.get(), program.c_str(), writable.data(), nullptr, nullptr, FALSE,
      CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment, directory.c_str(), &startup,
      &process);
  const DWORD createError = GetLastError();
  sessionapi::DestroyEnvironmentBlock(environment);
  system.Close();
  if (!created) return Failed("CreateProcessAsUserW", createError);
  sessionapi::CloseHandle(process.hThread);
  AgentStart result;
  result.started = true;
  result.process = process.hProcess;
  result.processId = process.dwProcessId;
  return result;
}
