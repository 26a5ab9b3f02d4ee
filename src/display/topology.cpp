#include "display/topology.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "display/config_query.h"
#include "display/display_config_api.h"
#include "log/log.h"
#include "log/system_error.h"

namespace {

constexpr UINT32 kExtendFlags = SDC_APPLY | SDC_TOPOLOGY_EXTEND;  // 0x84
constexpr UINT32 kSuppliedLayoutFlags =
    SDC_APPLY | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_SAVE_TO_DATABASE;  // 0x2A0

}  // namespace

bool ForceExtendMode() {
  const LONG result = displayapi::SetDisplayConfig(0, nullptr, 0, nullptr, kExtendFlags);
  if (result != ERROR_SUCCESS) {
    LogMessage("SetDisplayConfig (ForceExtendMode) failed: %ld\n", static_cast<long>(result));
    return false;
  }
  LogMessage("[Info] Force Extend mode success.\n");
  return true;
}

bool SetPrimaryDisplay(int index, const TargetKey* target) {
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  // Zero counts are not refused here: they are queried as they are, and
  // Windows answers a query with a zero count ERROR_INVALID_PARAMETER, a
  // failed query like any other.
  switch (ReadDisplayConfig(QDC_ONLY_ACTIVE_PATHS, false, paths, modes)) {
    case DisplayQueryResult::kSizesFailed:
      LogMessage("Failed to get display config buffer sizes.\n");
      return false;
    case DisplayQueryResult::kQueryFailed:
    case DisplayQueryResult::kEmpty:  // not asked for
      LogMessage("Failed to query display config.\n");
      return false;
    case DisplayQueryResult::kRead:
      break;
  }
  const auto pathCount = static_cast<UINT32>(paths.size());
  const auto modeCount = static_cast<UINT32>(modes.size());

  if (target != nullptr) {
    index = -1;
    for (UINT32 i = 0; i < pathCount; ++i) {
      if (TargetKey{paths[i].targetInfo.adapterId, paths[i].targetInfo.id} == *target) {
        index = static_cast<int>(i);
        break;
      }
    }
  }
  if (index < 0 || static_cast<long long>(index) >= static_cast<long long>(pathCount)) {
    LogMessage("Invalid display index.\n");
    return false;
  }

  std::vector<DISPLAYCONFIG_PATH_INFO> ordered;
  ordered.reserve(pathCount);
  ordered.push_back(paths[static_cast<UINT32>(index)]);
  for (UINT32 i = 0; i < pathCount; ++i)
    if (i != static_cast<UINT32>(index)) ordered.push_back(paths[i]);

  // One row from (0,0): only positions move; sizes and flags stay as queried.
  // Cloned paths share one source mode: it is placed by the first path that
  // names it, so the chosen display's source stays at (0,0) and no width is
  // counted twice.
  LONG offset = 0;
  std::vector<bool> placed(modeCount, false);
  for (const DISPLAYCONFIG_PATH_INFO& path : ordered) {
    const UINT32 m = path.sourceInfo.modeInfoIdx;
    if (m == DISPLAYCONFIG_PATH_MODE_IDX_INVALID || m >= modeCount) continue;
    if (modes[m].infoType != DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE || placed[m]) continue;
    placed[m] = true;
    modes[m].sourceMode.position.x = offset;
    modes[m].sourceMode.position.y = 0;
    offset += static_cast<LONG>(modes[m].sourceMode.width);
  }

  const LONG result = displayapi::SetDisplayConfig(pathCount, ordered.data(), modeCount,
                                                   modes.data(), kSuppliedLayoutFlags);
  if (result != ERROR_SUCCESS) {
    LogMessage("Failed to set primary display.\n");
    LogSystemError(result);
    return false;
  }
  LogMessage("Primary display successfully set to index: %d\n", index);
  return true;
}
