#include "app/arrange.h"

#include "app/target_monitor.h"
#include "common/wait_api.h"
#include "display/topology.h"
#include "log/log.h"

namespace {

constexpr int kAttempts = 5;
constexpr DWORD kRetryWaitMs = 1000;
constexpr DWORD kInactiveWaitMs = 500;

const char* ActiveText(const DisplayInfo& d) { return d.isActive ? " [Active]" : " [Inactive]"; }
const char* PrimaryText(const DisplayInfo& d) { return d.isPrimary ? " [Primary]" : ""; }

// Two active displays stand: find the virtual monitor and make it primary
// unless the layout already is the one SetPrimaryDisplay would produce.
int FinishWithPrimary(const std::vector<DisplayInfo>& displays) {
  LogMessage("Final available displays:\n");
  for (std::size_t i = 0; i < displays.size(); ++i) {
    const DisplayInfo& d = displays[i];
    LogMessage("[%zu] %ws %ws (%d,%d)(%ux%u)%s%s\n", i, d.deviceName.c_str(), d.monitorName.c_str(),
               d.positionY, d.positionX, d.width, d.height, ActiveText(d), PrimaryText(d));
  }

  std::size_t target = displays.size();
  for (std::size_t i = 0; i < displays.size(); ++i) {
    if (IsTargetDisplay(displays[i])) {
      target = i;
      break;
    }
  }
  if (target == displays.size()) {
    LogMessage("ERROR: Target display \"%ws\" not found!\n", TargetMonitorNameW.c_str());
    return -1;
  }

  const DisplayInfo& t = displays[target];
  const DisplayInfo& other = displays[target == 0 ? 1 : 0];
  if (t.isPrimary && other.positionX == static_cast<std::int32_t>(t.width) &&
      other.positionY == 0) {
    LogMessage("Target display \"%ws\" is already primary, no change.\n",
               TargetMonitorNameW.c_str());
    return 0;
  }

  LogMessage("Switching primary display to \"%ws\"...\n", TargetMonitorNameW.c_str());
  // The listing may be older than the configuration (a clone just extended,
  // another run at work): the display is named by its target as well.
  if (!SetPrimaryDisplay(static_cast<int>(target), &t.target)) {
    LogMessage("Failed to set primary display!\n");
    return -1;
  }
  LogMessage("Primary display successfully set to \"%ws\"\n", TargetMonitorNameW.c_str());
  return 0;
}

}  // namespace

bool IsTargetDisplay(const DisplayInfo& d) {
  return d.monitorName == TargetMonitorNameW ||
         d.deviceName.find(TargetMonitorNameW) != std::wstring::npos;
}

int ArrangeDisplays(std::vector<DisplayInfo>& displays, int& activeCount) {
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    displays.clear();
    activeCount = 0;
    if (!EnumerateDisplays(displays, activeCount)) {
      LogMessage("EnumerateDisplays failed.\n");
      return -1;
    }
    if (displays.empty()) {
      LogMessage("No available displays found.\n");
      waitapi::Sleep(kRetryWaitMs);
      continue;
    }

    LogMessage("Available displays (retry %d):\n", attempt);
    for (std::size_t i = 0; i < displays.size(); ++i) {
      const DisplayInfo& d = displays[i];
      LogMessage("[%zu] %ws %ws (%ux%u)%s%s\n", i, d.deviceName.c_str(), d.monitorName.c_str(),
                 d.width, d.height, ActiveText(d), PrimaryText(d));
    }

    if (displays.size() != 2) {
      LogMessage("only %d display.\n", static_cast<int>(displays.size()));
      if (!ForceExtendMode()) LogMessage("ForceExtendMode failed!\n");
      waitapi::Sleep(kRetryWaitMs);
      continue;
    }

    if (displays[0].positionY == displays[1].positionY &&
        displays[0].positionX == displays[1].positionX) {
      LogMessage("is clone mode, forcing to Extend mode...\n");
      if (!ForceExtendMode()) LogMessage("ForceExtendMode failed!\n");
      // The list is not read again: the final phase still sees the clone.
    }

    if (static_cast<int>(displays.size()) == activeCount) return FinishWithPrimary(displays);

    LogMessage("[Retry %d/%d] Detected inactive displays, forcing Extend mode...\n", attempt,
               kAttempts);
    if (!ForceExtendMode()) {
      LogMessage("ForceExtendMode failed!\n");
      return -1;
    }
    waitapi::Sleep(kInactiveWaitMs);
  }
  LogMessage("ERROR: After %d retries, still detected inactive displays, abort.\n", kAttempts);
  return -1;
}
