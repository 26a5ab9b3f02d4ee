#include "common/process_start.h"

#include <vector>

#include "common/module_dir.h"

// Nothing but its size in the start-up record: no window or standard-handle
// settings.
static_assert(sizeof(STARTUPINFOA) == 104 || sizeof(void*) != 8);

bool StartProcessIn(const char* application, const std::string& commandLine,
                    const std::string& exeDir, DWORD* error) {
  // CreateProcessA may write into the command line, so it gets a copy of its own.
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const std::string startIn = StartingDirectory(exeDir);
  if (!CreateProcessA(application, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      startIn.c_str(), &startup, &process)) {
    *error = GetLastError();
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}
