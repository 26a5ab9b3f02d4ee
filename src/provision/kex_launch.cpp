#include "provision/kex_launch.h"

#include <windows.h>

#include <vector>

#include "common/exe_dir.h"
#include "common/module_dir.h"
#include "common/quote.h"
#include "log/log.h"

// The helper is told nothing through the start-up record: no window or
// standard-handle settings, only its size.
static_assert(sizeof(STARTUPINFOA) == 104 || sizeof(void*) != 8);

std::string KexHelperPath(const std::string& exeDir) { return exeDir + "\\wkex.exe"; }

std::string BuildKexCommandLine(const std::string& helperPath, const std::string& best_hex) {
  return QuoteIfContainsSpace(helperPath) + " /d " + QuoteIfContainsSpace(best_hex);
}

bool LaunchKexWithHex(const std::string& best_hex) {
  return LaunchKexFromDirectory(GetExecutableDirectory(), best_hex);
}

bool LaunchKexFromDirectory(const std::string& exeDir, const std::string& best_hex) {
  if (best_hex.empty()) {
    LogMessage("LaunchKexWithHex: best_hex is empty, skip launching.\n");
    return false;
  }
  if (exeDir.empty()) {
    LogMessage("LaunchKexWithHex: failed to get executable directory, skip launching kex.exe\n");
    return false;
  }

  const std::string helperPath = KexHelperPath(exeDir);
  const std::string commandLine = BuildKexCommandLine(helperPath, best_hex);
  LogMessage("Launching wkex.exe with command: %s\n", commandLine.c_str());

  // CreateProcessA may write into the command line, so it gets a copy of its own.
  std::vector<char> writable(commandLine.begin(), commandLine.end());
  writable.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  const std::string startIn = StartingDirectory(exeDir);
  if (!CreateProcessA(helperPath.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      startIn.c_str(), &startup, &process)) {
    const DWORD error = GetLastError();
    LogMessage("Failed to launch wkex.exe from path \"%s\", GetLastError=%u\n", helperPath.c_str(),
               static_cast<unsigned>(error));
    return false;
  }
  // The helper runs on its own; nothing here waits for it or watches it.
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  LogMessage("wkex.exe launched successfully from %s\n", helperPath.c_str());
  return true;
}
