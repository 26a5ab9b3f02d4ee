#include "launch/direct.h"

#include <windows.h>

#include <optional>
#include <string>

#include "common/exe_dir.h"
#include "common/process_start.h"
#include "common/quote.h"
#include "launch/companion.h"
#include "log/log.h"

bool LaunchProtectDirect() { return LaunchProtectDirectFrom(GetExecutableDirectory()); }

bool LaunchProtectDirectFrom(const std::string& exeDir) {
  const std::optional<std::string> companion = CompanionToStart(exeDir, "LaunchProtectDirect");
  if (!companion) return false;
  DWORD error = 0;
  if (!StartProcessIn(nullptr, QuoteIfContainsSpace(*companion), exeDir, &error)) {
    LogMessage("Failed to launch protect.exe (Path: %s), Error=%u\n", companion->c_str(),
               static_cast<unsigned>(error));
    return false;
  }
  LogMessage("protect.exe launched successfully from %s\n", companion->c_str());
  return true;
}
