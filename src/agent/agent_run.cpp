// The service itself: it waits for the service manager's session-change
// controls and, for each logon or console connect of the console session
// (and once at its own start), decides (agent_decision.h) whether to start
// displayprep.exe, starts it (agent_start.h) and waits for it within a bound.
#include <windows.h>
// After windows.h, which it needs.
#include <wtsapi32.h>

#include <cstdio>
#include <deque>
#include <optional>

#include "agent/agent_decision.h"
#include "agent/agent_log.h"
#include "agent/agent_service.h"
#include "agent/agent_start.h"
#include "agent/program_rights.h"
#include "common/exe_dir.h"
#include "launch/session_api.h"
#include "log/log.h"
#include "version.h"

namespace {

// How long a run is waited for; displayprep ends within seconds (five
// attempts a second apart at most).
constexpr DWORD kRunBoundMs = 120 * 1000;

struct Queued {
  AgentEvent event;
  DWORD session;
};

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status = {};
HANDLE g_stop = nullptr;  // manual reset: stop or shutdown asked
HANDLE g_wake = nullptr;  // auto reset: events queued
SRWLOCK g_lock = SRWLOCK_INIT;
std::deque<Queued> g_queue;

// The control handler (the dispatcher's thread) and the service's thread both
// report.
SRWLOCK g_statusLock = SRWLOCK_INIT;

void Report(DWORD state, DWORD exitCode = NO_ERROR) {
  AcquireSRWLockExclusive(&g_statusLock);
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted =
      state == SERVICE_RUNNING
          ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_SESSIONCHANGE
          : 0;
  g_status.dwWin32ExitCode = exitCode;
  g_status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 10 * 1000;
  SetServiceStatus(g_statusHandle, &g_status);
  ReleaseSRWLockExclusive(&g_statusLock);
}

DWORD WINAPI Control(DWORD control, DWORD type, LPVOID data, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING);
      if (g_stop != nullptr) SetEvent(g_stop);
      return NO_ERROR;
    case SERVICE_CONTROL_SESSIONCHANGE: {
      std::optional<AgentEvent> event;
      if (type == WTS_SESSION_LOGON) event = AgentEvent::kLogon;
      if (type == WTS_CONSOLE_CONNECT) event = AgentEvent::kConsoleConnect;
      if (type == WTS_SESSION_LOGOFF) event = AgentEvent::kLogoff;
      if (event && data != nullptr) {
        const DWORD session = static_cast<WTSSESSION_NOTIFICATION*>(data)->dwSessionId;
        AcquireSRWLockExclusive(&g_lock);
        g_queue.push_back({*event, session});
        ReleaseSRWLockExclusive(&g_lock);
        if (g_wake != nullptr) SetEvent(g_wake);
      }
      return NO_ERROR;
    }
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

std::string Session(DWORD session) {
  return session == kNoConsoleSession ? "no session" : "session " + std::to_string(session);
}

class Agent {
 public:
  explicit Agent(AgentLog& log)
      : log_(log),
        folder_(GetExecutableDirectoryW()),
        program_(folder_ + L"\\displayprep.exe"),
        programText_(FormatLogString("%ls", program_.c_str())) {}

  // The error the service stops with: 0 when asked to stop.
  DWORD Serve() {
    log_.Write(std::string("service started (displayprep-agent ") + DP_VERSION + "), starting " +
               programText_);
    Consider(AgentEvent::kServiceStart, sessionapi::WTSGetActiveConsoleSessionId());
    DWORD error = NO_ERROR;
    for (;;) {
      HANDLE waits[3] = {g_stop, g_wake, run_.process};
      const DWORD count = run_.process != nullptr ? 3 : 2;
      DWORD timeout = INFINITE;
      if (run_.process != nullptr && !run_.overrun) {
        const ULONGLONG waited = GetTickCount64() - run_.startedAt;
        timeout = waited >= kRunBoundMs ? 0 : static_cast<DWORD>(kRunBoundMs - waited);
      }
      const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, timeout);
      if (woke == WAIT_OBJECT_0) break;
      if (woke == WAIT_OBJECT_0 + 1) {
        for (const Queued& q : TakeQueue()) Consider(q.event, q.session);
      } else if (woke == WAIT_OBJECT_0 + 2) {
        EndRun();
      } else if (woke == WAIT_TIMEOUT) {
        // Still one run at a time: the next waits until this one has ended.
        run_.overrun = true;
        log_.Write(Which() + " still running after " + Seconds() +
                   "; later logons wait until it ends");
      } else {
        error = GetLastError();
        log_.Write("waiting failed (error " + std::to_string(error) + "); stopping");
        break;
      }
    }
    if (run_.process != nullptr) {
      log_.Write("service stopping while " + Which() + " runs; it is left to finish");
      sessionapi::CloseHandle(run_.process);
      run_ = {};
    }
    log_.Write("service stopped");
    return error;
  }

 private:
  struct Run {
    HANDLE process = nullptr;
    DWORD processId = 0;
    DWORD session = 0;
    ULONGLONG startedAt = 0;
    bool overrun = false;  // past the bound, and said so
  };

  static std::deque<Queued> TakeQueue() {
    AcquireSRWLockExclusive(&g_lock);
    std::deque<Queued> taken;
    taken.swap(g_queue);
    ReleaseSRWLockExclusive(&g_lock);
    return taken;
  }

  void Consider(AgentEvent event, DWORD session) {
    const SessionFacts facts = AskAboutSession(session);
    const Decision d = Decide(state_, event, facts);
    const char* verdict = d.verdict == Verdict::kStart   ? "run"
                          : d.verdict == Verdict::kDefer ? "deferred"
                                                         : "no run";
    log_.Write(std::string(EventName(event)) + ", " + Session(session) + ": " + verdict + ": " +
               d.reason);
    if (d.verdict == Verdict::kStart && !Start(session)) {
      // Nothing ran: a later event of this logon may try again.
      state_.ranThisLogon.erase(session);
      AfterRun();
    }
  }

  bool Start(DWORD session) {
    const DWORD attributes = GetFileAttributesW(program_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      log_.Write("refused: " + programText_ + " is missing");
      return false;
    }
    if (const auto why = WhyInstallCanBeChanged(folder_)) {
      log_.Write("refused: " + *why +
                 "; only Administrators, SYSTEM and TrustedInstaller may change what the agent "
                 "starts");
      return false;
    }
    const AgentStart started = StartInSession(program_, folder_, session);
    if (!started.started) {
      log_.Write("could not start displayprep in " + Session(session) + ": " + started.failure);
      return false;
    }
    run_ = {started.process, started.processId, session, GetTickCount64(), false};
    log_.Write("displayprep started in " + Session(session) + ": process " +
               std::to_string(started.processId));
    return true;
  }

  std::string Which() const {
    return "displayprep (process " + std::to_string(run_.processId) + ", " + Session(run_.session) +
           ")";
  }

  std::string Seconds() const {
    const ULONGLONG elapsed = GetTickCount64() - run_.startedAt;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%llu.%01llu s", elapsed / 1000, elapsed % 1000 / 100);
    return seconds;
  }

  void EndRun() {
    DWORD code = 0;
    const std::string exit =
        GetExitCodeProcess(run_.process, &code)
            ? "exit code " + std::to_string(code)
            : "exit code unknown (error " + std::to_string(GetLastError()) + ")";
    log_.Write(Which() + " ended: " + exit + " after " + Seconds());
    sessionapi::CloseHandle(run_.process);
    run_ = {};
    AfterRun();
  }

  void AfterRun() {
    if (const std::optional<std::uint32_t> pending = RunEnded(state_))
      Consider(AgentEvent::kRunEnded, *pending);
  }

  AgentLog& log_;
  const std::wstring folder_;
  const std::wstring program_;
  const std::string programText_;
  AgentState state_;
  Run run_;
};

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  // Made before the handler can be called.
  g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g_wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  const DWORD eventError = GetLastError();
  g_statusHandle = RegisterServiceCtrlHandlerExW(kAgentServiceName, Control, nullptr);
  if (g_statusHandle == nullptr) return;
  Report(SERVICE_START_PENDING);
  if (g_stop == nullptr || g_wake == nullptr) {
    SetLastError(eventError);
    Report(SERVICE_STOPPED, GetLastError());
    return;
  }
  Report(SERVICE_RUNNING);
  AgentLog log(AgentLogFolder());
  const DWORD error = Agent(log).Serve();
  // The events stay open until the process ends: the control handler may
  // still be called until the service manager has taken in the stop.
  Report(SERVICE_STOPPED, error);
}

}  // namespace

bool RunAgentService() {
  wchar_t name[] = L"displayprep-agent";
  SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherW(table) != FALSE;
}
