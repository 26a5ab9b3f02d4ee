#include "run_program.h"

#include <algorithm>
#include <cwctype>
#include <vector>

namespace {

std::wstring Upper(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

struct Handle {
  HANDLE h = nullptr;
  ~Handle() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

// Plays the debugger until the program ends or the time is up, keeping every
// string it sends to the debugger output. False on timeout.
bool DebugUntilExit(DWORD processId, ULONGLONG deadline, std::vector<std::string>* strings) {
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    DEBUG_EVENT event = {};
    if (!WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) return false;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = event.u.DebugString;
        HANDLE process = OpenProcess(PROCESS_VM_READ, FALSE, event.dwProcessId);
        if (process != nullptr && !info.fUnicode && info.nDebugStringLength > 0) {
          std::string text(info.nDebugStringLength, '\0');
          SIZE_T got = 0;
          if (ReadProcessMemory(process, info.lpDebugStringData, text.data(), text.size(), &got)) {
            text.resize(got);
            if (!text.empty() && text.back() == '\0') text.pop_back();
            strings->push_back(text);
          }
        }
        if (process != nullptr) CloseHandle(process);
        break;
      }
      default:
        break;
    }
    const bool ended =
        event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT && event.dwProcessId == processId;
    ContinueDebugEvent(
        event.dwProcessId, event.dwThreadId,
        event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT ? DBG_EXCEPTION_NOT_HANDLED : DBG_CONTINUE);
    if (ended) return true;
  }
}

}  // namespace

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
    return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"')
      quoted.append(backslashes * 2 + 1, L'\\');
    else
      quoted.append(backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring BuildEnvironmentBlock(
    const std::map<std::wstring, std::optional<std::wstring>>& changes) {
  // Keyed case-insensitively, as Windows treats variable names.
  std::map<std::wstring, std::pair<std::wstring, std::wstring>> vars;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* p = block; *p != L'\0'; p += wcslen(p) + 1) {
      std::wstring entry(p);
      // Entries such as "=C:=C:\dir" start with '='; the name ends at the next one.
      std::size_t eq = entry.find(L'=', 1);
      if (eq == std::wstring::npos) continue;
      std::wstring name = entry.substr(0, eq);
      vars[Upper(name)] = {name, entry.substr(eq + 1)};
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : changes) {
    if (value)
      vars[Upper(name)] = {name, *value};
    else
      vars.erase(Upper(name));
  }
  std::wstring out;
  for (const auto& [key, entry] : vars) {
    out += entry.first + L"=" + entry.second;
    out += L'\0';
  }
  if (out.empty()) out += L'\0';
  out += L'\0';
  return out;
}

RunResult RunProgram(const RunOptions& options) {
  RunResult result;

  // Output goes to a file rather than a pipe: programs started by the one
  // under test inherit the handle and may outlive it, and a pipe would then
  // never report its end.
  wchar_t tempDir[MAX_PATH] = {};
  wchar_t outputPath[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, tempDir);
  GetTempFileNameW(tempDir, L"dpo", 0, outputPath);

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  Handle output;
  output.h =
      CreateFileW(outputPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output.h == INVALID_HANDLE_VALUE) {
    result.startError = GetLastError();
    return result;
  }

  std::wstring commandLine = QuoteArgument(options.program);
  for (const std::wstring& a : options.arguments) commandLine += L" " + QuoteArgument(a);
  std::wstring environment = BuildEnvironmentBlock(options.environment);

  // Only the output handle, and what the caller names, is handed down.
  // Inheriting every inheritable handle would give the program whatever
  // another thread of this process has open at that instant (a file being
  // copied for the next run, say), and the program would hold it for its
  // whole life.
  std::vector<HANDLE> handed = {output.h};
  handed.insert(handed.end(), options.inheritedHandles.begin(), options.inheritedHandles.end());
  SIZE_T listSize = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
  std::vector<char> listBuffer(listSize);
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuffer.data());
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &listSize) ||
      !UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handed.data(),
                                 handed.size() * sizeof(HANDLE), nullptr, nullptr)) {
    result.startError = GetLastError();
    DeleteFileW(outputPath);
    return result;
  }
  struct ListGuard {
    LPPROC_THREAD_ATTRIBUTE_LIST list;
    ~ListGuard() { DeleteProcThreadAttributeList(list); }
  } listGuard{attributes};
  STARTUPINFOEXW startupEx = {};
  STARTUPINFOW& startup = startupEx.StartupInfo;
  startup.cb = sizeof startupEx;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output.h;
  startup.hStdError = output.h;
  startupEx.lpAttributeList = attributes;
  // The program and whatever it starts run in one job: the job tells when the
  // last of them has ended, and closing it ends any that overstay.
  Handle job{CreateJobObjectW(nullptr, nullptr)};
  if (job.h != nullptr && options.waitForDescendants) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.h, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(options.program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT |
                          (options.captureDebugOutput ? DEBUG_ONLY_THIS_PROCESS : 0) |
                          (options.newConsole ? CREATE_NO_WINDOW : 0),
                      environment.data(),
                      options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(),
                      &startup, &process)) {
    result.startError = GetLastError();
    DeleteFileW(outputPath);
    return result;
  }
  result.started = true;
  Handle processHandle{process.hProcess};
  Handle threadHandle{process.hThread};
  const bool inJob = job.h != nullptr && AssignProcessToJobObject(job.h, process.hProcess);
  ResumeThread(process.hThread);
  CloseHandle(output.h);
  output.h = nullptr;

  const ULONGLONG deadline = GetTickCount64() + options.timeoutMs;
  if (options.captureDebugOutput &&
      !DebugUntilExit(process.dwProcessId, deadline, &result.debugStrings)) {
    result.timedOut = true;
    TerminateProcess(process.hProcess, 1);
  }
  for (const std::string& s : result.debugStrings) result.debugOutput += s;
  if (WaitForSingleObject(process.hProcess, options.timeoutMs) != WAIT_OBJECT_0) {
    result.timedOut = true;
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  if (inJob) {
    for (;;) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info = {};
      if (!QueryInformationJobObject(job.h, JobObjectBasicAccountingInformation, &info, sizeof info,
                                     nullptr))
        break;
      result.processesStarted = info.TotalProcesses;
      if (info.ActiveProcesses == 0 || !options.waitForDescendants) break;
      if (GetTickCount64() >= deadline) {
        result.timedOut = true;
        TerminateJobObject(job.h, 1);
        break;
      }
      Sleep(10);
    }
  }

  Handle reader;
  reader.h =
      CreateFileW(outputPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (reader.h != INVALID_HANDLE_VALUE) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(reader.h, buffer, sizeof buffer, &got, nullptr) && got > 0)
      result.output.append(buffer, got);
    CloseHandle(reader.h);
    reader.h = nullptr;
  }
  DeleteFileW(outputPath);
  return result;
}
