// How the agent starts displayprep: as the local system account (a primary
// duplicate of the service's own token) moved into the console session, on
// the user's desktop, with the user's environment block, so that the display
// calls answer, WTSQueryUserToken hands out the user's token for the
// companion, and APPDATA, store.dat and the log are that user's. Through the
// session seam, so that a test sees every token, block and handle.
#pragma once

#include <windows.h>

#include <string>

#include "agent/agent_decision.h"

// What the system says of `session` now: the console's session, whether its
// client protocol is a remote one, whether a user is logged on (their token
// can be had, and is closed at once).
SessionFacts AskAboutSession(DWORD session);

struct AgentStart {
  bool started = false;
  HANDLE process = nullptr;  // to wait on; the caller closes it with sessionapi::CloseHandle
  DWORD processId = 0;
  std::string failure;  // the step that failed and its error, when not started
};

// Starts `program` (quoted on its command line, with no argument) in
// `session`, with `directory` as its current directory and no console
// window. Every token, block and handle but the returned process handle is
// released on every path.
AgentStart StartInSession(const std::wstring& program, const std::wstring& directory,
                          DWORD session);
