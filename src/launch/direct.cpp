#include "launch/direct.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/exe_dir.h"
#include "common/module_dir.h"
#include "common/quote.h"
#include "launch/companion.h"
#include "log/log.h"

bool LaunchProtectDirect() { return LaunchProtectDirectFrom(GetExecutableDirectory()); }

bool LaunchProtectDirectFrom(const std::string& exeDir) {
  // Without its own directory the companion path would name the root of the
  // current drive, where any user may create the folder: start nothing.
  if (exeDir.empty()) {
    LogMessage(
        "LaunchProtectDirect: failed to get executable directory, skip launching "
        "zanbyprotect.exe\n");
    return false;
  }
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
  const std::string startIn = StartingDirectory(exeDir);
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      startIn.c_str(), &startup, &process)) {
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
