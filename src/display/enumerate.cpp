#include "display/enumerate.h"

#include <algorithm>

#include "display/config_query.h"
#include "display/display_config_api.h"
#include "log/log.h"

namespace {

std::wstring TargetFriendlyName(const DISPLAYCONFIG_PATH_TARGET_INFO& target) {
  DISPLAYCONFIG_TARGET_DEVICE_NAME request = {};
  request.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME;
  request.header.size = sizeof request;
  request.header.adapterId = target.adapterId;
  request.header.id = target.id;
  if (displayapi::DisplayConfigGetDeviceInfo(&request.header) != ERROR_SUCCESS) return {};
  const auto& name = request.monitorFriendlyDeviceName;
  return std::wstring(name, std::find(std::begin(name), std::end(name), L'\0'));
}

std::wstring SourceGdiName(const DISPLAYCONFIG_PATH_SOURCE_INFO& source) {
  DISPLAYCONFIG_SOURCE_DEVICE_NAME request = {};
  request.header.type = DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME;
  request.header.size = sizeof request;
  request.header.adapterId = source.adapterId;
  request.header.id = source.id;
  if (displayapi::DisplayConfigGetDeviceInfo(&request.header) != ERROR_SUCCESS) return {};
  const auto& name = request.viewGdiDeviceName;
  return std::wstring(name, std::find(std::begin(name), std::end(name), L'\0'));
}

}  // namespace

bool EnumerateDisplays(std::vector<DisplayInfo>& displays, int& activeCount) {
  std::vector<DISPLAYCONFIG_PATH_INFO> paths;
  std::vector<DISPLAYCONFIG_MODE_INFO> modes;
  switch (ReadDisplayConfig(QDC_ALL_PATHS, true, paths, modes)) {
    case DisplayQueryResult::kSizesFailed:
      LogMessage("Failed to get display config buffer sizes.\n");
      return false;
    case DisplayQueryResult::kEmpty:
      LogMessage("No displays detected.\n");
      return false;
    case DisplayQueryResult::kQueryFailed:
      LogMessage("Failed to query display config.\n");
      return false;
    case DisplayQueryResult::kRead:
      break;
  }
  const auto pathCount = static_cast<UINT32>(paths.size());
  const auto modeCount = static_cast<UINT32>(modes.size());

  activeCount = 0;
  std::vector<TargetKey> seen;
  for (UINT32 i = 0; i < pathCount; ++i) {
    const DISPLAYCONFIG_PATH_INFO& path = paths[i];
    if (path.sourceInfo.modeInfoIdx == DISPLAYCONFIG_PATH_MODE_IDX_INVALID) continue;
    if (!path.targetInfo.targetAvailable) continue;

    const TargetKey key{path.targetInfo.adapterId, path.targetInfo.id};
    if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
    seen.push_back(key);

    DisplayInfo info;
    info.pathIndex = i;
    info.target = key;
    info.monitorName = TargetFriendlyName(path.targetInfo);
    info.isActive = (path.flags & DISPLAYCONFIG_PATH_ACTIVE) != 0;
    info.adapterId = path.sourceInfo.adapterId;
    info.sourceId = path.sourceInfo.id;

    const UINT32 m = path.sourceInfo.modeInfoIdx;
    if (m < modeCount && modes[m].infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
      const DISPLAYCONFIG_SOURCE_MODE& source = modes[m].sourceMode;
      info.width = source.width;
      info.height = source.height;
      info.positionY = source.position.y;
      info.positionX = source.position.x;
      info.isPrimary = source.position.x == 0 && source.position.y == 0;
    }

    info.deviceName = SourceGdiName(path.sourceInfo);
    displays.push_back(std::move(info));
    if (displays.back().isActive) ++activeCount;
  }
  return true;
}
