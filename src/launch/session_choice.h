// Choosing the session to start the companion in when no session is attached
// to the physical console: the rule over what the system listed, as data.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// One record of the session list: only these two fields are read.
struct ListedSession {
  DWORD sessionId = 0;
  bool active = false;  // State == WTSActive
};

// One process of the snapshot. `sessionId` is what ProcessIdToSessionId
// answered, nullopt when it failed (the process is then passed over).
struct SnapshotProcess {
  DWORD processId = 0;
  std::wstring exeFile;
  std::optional<DWORD> sessionId;
};

struct SessionChoice {
  DWORD sessionId = 0xFFFFFFFF;
  DWORD processId = 0xFFFFFFFF;
  bool chosen() const { return sessionId != 0xFFFFFFFF && processId != 0xFFFFFFFF; }
};

// Whether the snapshot's file name is `name`, ignoring case, as Windows
// compares file names.
bool ProcessNameMatches(const std::wstring& exeFile, const std::wstring& name);

// Goes through the processes named `name` in snapshot order. With an empty
// session list the lowest session id wins (the first met among equals);
// otherwise each process in an active listed session replaces the choice, so
// the last wins. Logs "current session id=%d, pid=%d" at every new choice.
SessionChoice ChooseSession(const std::wstring& name, const std::vector<ListedSession>& sessions,
                            const std::vector<SnapshotProcess>& processes);
