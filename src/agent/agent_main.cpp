// displayprep-agent: the service that starts displayprep.exe where its design
// needs it, as the local system account in the console user's session.
//   displayprep-agent.exe install     installs the service and starts it
//   displayprep-agent.exe uninstall   stops and removes it
// Started by the service manager, it is the service; started otherwise
// without an argument, it prints its usage.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "agent/agent_service.h"

namespace {

constexpr char kUsage[] =
    "usage: displayprep-agent.exe install | uninstall\n"
    "  install    installs the displayprep agent service (automatic start, LocalSystem)\n"
    "             and starts it; it starts displayprep.exe beside it in the console\n"
    "             user's session at each logon\n"
    "  uninstall  stops the service and removes it\n"
    "Both need an administrator's prompt. The agent's log: "
    "%ProgramData%\\displayprep\\agent.log\n";

std::wstring OwnPath() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n < path.size() ? n : 0);
  return path;
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::wstring verb = argv != nullptr && argc == 2 ? argv[1] : L"";
  if (argv != nullptr) LocalFree(argv);

  if (argc == 2 && _wcsicmp(verb.c_str(), L"install") == 0) {
    const std::wstring self = OwnPath();
    if (self.empty()) {
      std::fputs("displayprep-agent: its own path cannot be read\n", stdout);
      return kAgentExitFailed;
    }
    return InstallAgent(self);
  }
  if (argc == 2 && _wcsicmp(verb.c_str(), L"uninstall") == 0) return UninstallAgent();
  if (argc <= 1) {
    if (RunAgentService()) return kAgentExitOk;
    const DWORD error = GetLastError();
    if (error != ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      std::printf("displayprep-agent: the service manager refused it (error %lu)\n", error);
      return kAgentExitFailed;
    }
  }
  std::fputs(kUsage, stderr);
  return kAgentExitUsage;
}
