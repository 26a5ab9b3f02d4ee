#include "launch/direct.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/exe_dir.h"
#include "common/quote.h"
#include "launch/companion.h"
#include "log/log.h"

bool LaunchProtectDirect() { return LaunchProtectDirectFrom(GetExecutableDirectory()); }

bool LaunchProtectDirectFrom(const std::string& exeDir) {
  const std::string companion = exeDir + kCompanionRelativePath;
  if (GetFileAttributesA(companion.c_str()) == INVALID_FILE_ATTRIBUTES) {
    LogMessage("Target executable not found: %s\n", companion.c_str());
    return false;
  }

  const std::string commandLine = QuoteIfContainsSpace(companion);
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  // An unknown executable directory is no directory to start in: the
  // companion then starts in this program's own.
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      exeDir.empty() ? nullptr : exeDir.c_str(), &startup, &process)) {
    const DWORD error = GetLastError();
    LogMessage("Failed to launch protect.exe (Path: %s), Error=%u\n", companion.c_str(),
               static_cast<unsigned>(error));
    return false;
  }
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  LogMessage("protect.exe launched successfully from %s\n", companion.c_str());
  return true;
}
