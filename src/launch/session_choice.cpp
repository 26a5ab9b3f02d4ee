#include "launch/session_choice.h"

#include "log/log.h"

bool ProcessNameMatches(const std::wstring& exeFile, const std::wstring& name) {
  return CompareStringOrdinal(exeFile.c_str(), static_cast<int>(exeFile.size()), name.c_str(),
                              static_cast<int>(name.size()), TRUE) == CSTR_EQUAL;
}

SessionChoice ChooseSession(const std::wstring& name, const std::vector<ListedSession>& sessions,
                            const std::vector<SnapshotProcess>& processes) {
  SessionChoice choice;
  for (const SnapshotProcess& p : processes) {
    if (!ProcessNameMatches(p.exeFile, name) || !p.sessionId) continue;
    const DWORD session = *p.sessionId;
    bool take = false;
    if (sessions.empty()) {
      take = session < choice.sessionId;
    } else {
      for (const ListedSession& s : sessions) {
        if (s.active && s.sessionId == session) {
          take = true;
          break;
        }
      }
    }
    if (!take) continue;
    choice.sessionId = session;
    choice.processId = p.processId;
    LogMessage("current session id=%d, pid=%d", static_cast<int>(session),
               static_cast<int>(p.processId));
  }
  return choice;
}
