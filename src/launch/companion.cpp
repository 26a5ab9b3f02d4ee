#include "launch/companion.h"

#include <windows.h>

#include "log/log.h"

namespace {

bool Stands(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
bool Stands(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void LogNotFound(const std::string& path) {
  LogMessage("Target executable not found: %s\n", path.c_str());
}
void LogNotFound(const std::wstring& path) {
  LogMessage("Target executable not found: %ls", path.c_str());
}

template <typename Text, typename Char>
std::optional<Text> ToStart(const Text& exeDir, const Char* relative, const char* launch) {
  if (exeDir.empty()) {
    LogMessage("%s: failed to get executable directory, skip launching zanbyprotect.exe\n", launch);
    return std::nullopt;
  }
  const Text companion = exeDir + relative;
  if (!Stands(companion)) {
    LogNotFound(companion);
    return std::nullopt;
  }
  return companion;
}

}  // namespace

std::optional<std::string> CompanionToStart(const std::string& exeDir, const char* launch) {
  return ToStart(exeDir, kCompanionRelativePath, launch);
}

std::optional<std::wstring> CompanionToStart(const std::wstring& exeDir, const char* launch) {
  return ToStart(exeDir, kCompanionRelativePathW, launch);
}
