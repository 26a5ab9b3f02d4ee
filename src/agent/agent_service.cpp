#include "agent/agent_service.h"

#include <cstdio>

#include "agent/agent_log.h"
#include "agent/program_rights.h"
#include "log/log.h"

namespace {

// A service-manager handle closed when it goes.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE h) : handle_(h) {}
  ~ScHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

void Say(const std::string& line) {
  std::fputs(("displayprep-agent: " + line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

int Fail(const std::string& what, DWORD error) {
  std::string line = what + " failed (error " + std::to_string(error) + ")";
  if (error == ERROR_ACCESS_DENIED) line += ": run it from an administrator's prompt";
  Say(line);
  return kAgentExitFailed;
}

std::wstring DirectoryOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

constexpr wchar_t kDescription[] =
    L"Starts displayprep.exe beside it as the local system account in the console user's "
    L"session, once at each logon, so that the virtual monitor is provisioned and made "
    L"primary. Log: %ProgramData%\\displayprep\\agent.log.";

// Restarted a minute after its first two failures, five minutes after later
// ones; the count starts again after a day without failure.
bool SetFailureActions(SC_HANDLE service) {
  SC_ACTION actions[] = {{SC_ACTION_RESTART, 60 * 1000},
                         {SC_ACTION_RESTART, 60 * 1000},
                         {SC_ACTION_RESTART, 300 * 1000}};
  SERVICE_FAILURE_ACTIONSW failure = {};
  failure.dwResetPeriod = 24 * 60 * 60;
  failure.cActions = 3;
  failure.lpsaActions = actions;
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure)) return false;
  // Also when it stops with an error of its own, not only when it crashes.
  // Wine's service manager does not know this setting (error 124): there
  // the restart covers crashes alone.
  SERVICE_FAILURE_ACTIONS_FLAG flag = {TRUE};
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_LEVEL) return false;
    Say("restart on failure set for crashes only: this system does not take the setting for "
        "errors (error " +
        std::to_string(error) + ")");
  }
  return true;
}

bool WaitForState(SC_HANDLE service, DWORD wanted, DWORD timeoutMs) {
  const ULONGLONG until = GetTickCount64() + timeoutMs;
  SERVICE_STATUS status = {};
  while (QueryServiceStatus(service, &status)) {
    if (status.dwCurrentState == wanted) return true;
    if (GetTickCount64() >= until) return false;
    Sleep(250);
  }
  return false;
}

}  // namespace

int InstallAgent(const std::wstring& agentPath) {
  const std::wstring folder = DirectoryOf(agentPath);
  const std::wstring program = folder + L"\\displayprep.exe";
  const DWORD attributes = GetFileAttributesW(program.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Say(
        FormatLogString("not installed: %ls is missing; the agent starts only the displayprep.exe "
                        "beside it",
                        program.c_str()));
    return kAgentExitFailed;
  }
  if (const auto why = WhyInstallCanBeChanged(folder)) {
    Say("not installed: " + *why +
        "; the agent starts programs as the local system account, so only Administrators, "
        "SYSTEM and TrustedInstaller may change its folder and what stands in it");
    return kAgentExitFailed;
  }

  ScHandle manager(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!manager) return Fail("OpenSCManager", GetLastError());
  const std::wstring binaryPath = L"\"" + agentPath + L"\"";
  const DWORD access = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_QUERY_STATUS;
  ScHandle created(CreateServiceW(manager.get(), kAgentServiceName, L"displayprep agent", access,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr,
                                  nullptr, nullptr, nullptr));
  const DWORD createError = created ? ERROR_SUCCESS : GetLastError();
  if (!created && createError != ERROR_SERVICE_EXISTS) return Fail("CreateService", createError);
  ScHandle existing(created ? nullptr : OpenServiceW(manager.get(), kAgentServiceName, access));
  SC_HANDLE service = created ? created.get() : existing.get();
  if (service == nullptr) return Fail("OpenService", GetLastError());
  if (!created && !ChangeServiceConfigW(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                        SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr,
                                        nullptr, L"LocalSystem", L"", L"displayprep agent"))
    return Fail("ChangeServiceConfig", GetLastError());
  SERVICE_DESCRIPTIONW description = {const_cast<wchar_t*>(kDescription)};
  if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description))
    return Fail("ChangeServiceConfig2(description)", GetLastError());
  if (!SetFailureActions(service))
    return Fail("ChangeServiceConfig2(failure actions)", GetLastError());
  Say(FormatLogString("%s: %ls, started automatically as LocalSystem",
                      created ? "installed" : "installation updated", binaryPath.c_str()));

  // Made here, by an administrator, before the service writes to it.
  const std::wstring logFolder = AgentLogFolder();
  std::string why;
  if (!MakeAgentLogFolder(logFolder, &why))
    Say(FormatLogString("the log folder %ls: ", logFolder.c_str()) + why +
        "; the agent will not log there: remove it and install again");
  if (!StartServiceW(service, 0, nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_ALREADY_RUNNING) return Fail("StartService", error);
    Say("already running; the new settings apply from its next start");
  } else if (!WaitForState(service, SERVICE_RUNNING, 30 * 1000)) {
    Say("started, but not running after 30 s: see its log");
  } else {
    Say("running");
  }
  Say(FormatLogString("its log: %ls", AgentLog(logFolder).path().c_str()));
  return kAgentExitOk;
}

int UninstallAgent() {
  ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return Fail("OpenSCManager", GetLastError());
  ScHandle service(
      OpenServiceW(manager.get(), kAgentServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!service) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_DOES_NOT_EXIST) return Fail("OpenService", error);
    Say("not installed");
    return kAgentExitOk;
  }
  SERVICE_STATUS status = {};
  const bool stopAsked = ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != FALSE;
  const DWORD stopError = stopAsked ? ERROR_SUCCESS : GetLastError();
  if (stopError == ERROR_SERVICE_NOT_ACTIVE) {
    // Stopped already.
  } else if (!stopAsked && stopError != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) {
    return Fail("ControlService(stop)", stopError);
  } else if (!WaitForState(service.get(), SERVICE_STOPPED, 30 * 1000)) {
    Say("did not stop within 30 s; removed all the same, it goes when it stops");
  } else {
    Say("stopped");
  }
  if (!DeleteService(service.get())) {
    const DWORD error = GetLastError();
    if (error != ERROR_SERVICE_MARKED_FOR_DELETE) return Fail("DeleteService", error);
  }
  Say("removed");
  return kAgentExitOk;
}

AgentServiceState QueryAgentService() {
  AgentServiceState state;
  ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) {
    state.error = GetLastError();
    return state;
  }
  ScHandle service(OpenServiceW(manager.get(), kAgentServiceName, SERVICE_QUERY_STATUS));
  if (!service) {
    state.error = GetLastError();
    state.known = state.error == ERROR_SERVICE_DOES_NOT_EXIST;
    return state;
  }
  SERVICE_STATUS status = {};
  if (!QueryServiceStatus(service.get(), &status)) {
    state.error = GetLastError();
    return state;
  }
  state.known = state.installed = true;
  state.running = status.dwCurrentState == SERVICE_RUNNING;
  return state;
}
