#include "provision/target_mode.h"

#include <windows.h>

#include <algorithm>

#include "common/file_account.h"
#include "log/log.h"

namespace {

constexpr const char* kFallbackDataDir = "C:\\Users\\Administrator\\AppData\\Roaming";
constexpr const char* kSettingsFile = "\\harnfold\\store.dat";
constexpr const char* kSection = "rpScreen";

}  // namespace

void ReadTargetMode(TargetMode& mode, SettingsSource* source) {
  SettingsSource found;
  char buffer[260] = {};
  const DWORD length = GetEnvironmentVariableA("APPDATA", buffer, sizeof buffer);
  std::string dataDir;
  if (length >= 1 && length <= sizeof buffer) {
    // Bounded even if the system ever filled the buffer to its last byte.
    dataDir.assign(buffer, std::find(buffer, buffer + sizeof buffer, '\0'));
  } else {
    dataDir = kFallbackDataDir;
    found.appDataSet = false;
    LogMessage("Failed to get APPDATA path.\n");
  }

  // Read as the user whose file it is (file_account.h); should that fail,
  // reading three numbers as the program's own account risks nothing.
  const AsFileAccount account;
  std::string path = dataDir + kSettingsFile;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    LogMessage("File does not exist: %s\n", path.c_str());
    found.missingPath = path;
    // Not tested again: a missing fallback file simply yields the defaults.
    path = std::string(kFallbackDataDir) + kSettingsFile;
  }

  // The profile reader answers unsigned; the wish is used as signed from here on.
  mode.width = static_cast<int>(GetPrivateProfileIntA(kSection, "width", 1920, path.c_str()));
  mode.height = static_cast<int>(GetPrivateProfileIntA(kSection, "height", 1080, path.c_str()));
  mode.fps = static_cast<int>(GetPrivateProfileIntA(kSection, "fps", 60, path.c_str()));

  LogMessage("Reading config file: %s\n", path.c_str());
  LogMessage("Target config: width=%d, height=%d, fps=%d\n", mode.width, mode.height, mode.fps);
  found.path = path;
  if (source != nullptr) *source = found;
}
