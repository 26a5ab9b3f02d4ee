// The displayprep agent as a Windows service: its installation, removal and
// state, and the service itself (agent_run.cpp).
#pragma once

#include <windows.h>

#include <string>

inline constexpr const wchar_t* kAgentServiceName = L"displayprep-agent";

// Exit codes of displayprep-agent.exe.
inline constexpr int kAgentExitOk = 0;
inline constexpr int kAgentExitFailed = 1;  // the reason printed
inline constexpr int kAgentExitUsage = 2;

// Installs the service (automatic start, the local system account, its binary
// path quoted, a description, restart on failure), updating an earlier
// installation in place, and starts it. Refuses, saying why, when the install
// folder or what it starts can be changed by others than Administrators,
// SYSTEM and TrustedInstaller, or when displayprep.exe is not beside the
// agent. Reports on standard output; returns an exit code.
int InstallAgent(const std::wstring& agentPath);

// Stops the service (waiting up to 30 s for it to stop) and removes it. Not
// installed is not an error.
int UninstallAgent();

struct AgentServiceState {
  bool known = false;  // false: the service manager could not be asked (`error`)
  DWORD error = 0;
  bool installed = false;
  bool running = false;
};
AgentServiceState QueryAgentService();

// Hands the process to the service manager and returns when the service has
// stopped. False, with the last error set (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
// when not started by the service manager), when it could not connect.
bool RunAgentService();
