#include "provision/edid_profile.h"

#include <windows.h>

#include <optional>

#include "common/file_api_text.h"
#include "log/log.h"

namespace {

// The search pattern must fit a classic path buffer, terminator included.
constexpr std::size_t kMaxSearchPatternLength = 259;

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (valid()) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

std::string SelectEdidProfile(const TargetMode& target, std::string* distance) {
  const std::string edidDir = target.exeDir + "\\edid";
  const std::string pattern = edidDir + "\\*.hex";
  LogMessage("Searching in directory: %s\n", edidDir.c_str());

  if (pattern.size() > kMaxSearchPatternLength) {
    LogMessage("Search pattern too long (%zu characters, at most %zu): %s\n", pattern.size(),
               kMaxSearchPatternLength, pattern.c_str());
    LogMessage("No matching .hex files found.\n");
    return {};
  }

  std::string bestName;
  // No initial bound: with exact distances even a far profile is better than none.
  std::optional<ProfileDistance> bestDistance;

  WIN32_FIND_DATAW entry;
  FindHandle search(FindFirstFileExW(FileApiWide(pattern).c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0));
  if (!search.valid()) {
    LogMessage("No .hex files found in directory: %s\n", edidDir.c_str());
  } else {
    do {
      // Judged by name alone: a directory named like a profile counts too.
      const std::string name = FileApiNarrow(entry.cFileName);
      EdidProfile profile;
      const ProfileNameMatch match = ParseProfileName(name, profile);
      if (match == ProfileNameMatch::kNoMatch) continue;
      if (match == ProfileNameMatch::kOutOfRange) {
        LogMessage("Skipping file: %s (a number does not fit a 32-bit integer)\n", name.c_str());
        continue;
      }
      profile.distance = ComputeProfileDistance(profile, target.width, target.height, target.fps);
      LogMessage("Found file: %s --> w=%d, h=%d, fps=%d, distance=%s\n", profile.name.c_str(),
                 profile.width, profile.height, profile.fps, ToString(profile.distance).c_str());
      // Strictly closer only, so the first of equally close profiles stays.
      if (!bestDistance || profile.distance < *bestDistance) {
        bestDistance = profile.distance;
        bestName = profile.name;
      }
    } while (FindNextFileW(search.get(), &entry));
  }

  if (bestName.empty()) {
    LogMessage("No matching .hex files found.\n");
    return {};
  }
  LogMessage("\nClosest file: %s (distance=%s)\n", bestName.c_str(),
             ToString(*bestDistance).c_str());
  if (distance != nullptr) *distance = ToString(*bestDistance);
  return edidDir + "\\" + bestName;
}
