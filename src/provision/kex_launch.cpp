#include "provision/kex_launch.h"

#include <windows.h>

#include "common/exe_dir.h"
#include "common/process_start.h"
#include "common/quote.h"
#include "log/log.h"

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

  // The helper runs on its own; nothing here waits for it or watches it.
  DWORD error = 0;
  if (!StartProcessIn(helperPath.c_str(), commandLine, exeDir, &error)) {
    LogMessage("Failed to launch wkex.exe from path \"%s\", GetLastError=%u\n", helperPath.c_str(),
               static_cast<unsigned>(error));
    return false;
  }
  LogMessage("wkex.exe launched successfully from %s\n", helperPath.c_str());
  return true;
}
