#include "display/config_query.h"

#include <algorithm>

#include "display/display_config_api.h"

DisplayQueryResult ReadDisplayConfig(UINT32 flags, bool refuseEmpty,
                                     std::vector<DISPLAYCONFIG_PATH_INFO>& paths,
                                     std::vector<DISPLAYCONFIG_MODE_INFO>& modes) {
  for (int attempt = 1;; ++attempt) {
    UINT32 pathCount = 0;
    UINT32 modeCount = 0;
    if (displayapi::GetDisplayConfigBufferSizes(flags, &pathCount, &modeCount) != ERROR_SUCCESS)
      return DisplayQueryResult::kSizesFailed;
    if (refuseEmpty && (pathCount == 0 || modeCount == 0)) return DisplayQueryResult::kEmpty;

    // Zero-filled every time: nothing of an earlier try's answer survives.
    paths.assign(std::max<UINT32>(pathCount, 1), DISPLAYCONFIG_PATH_INFO{});
    modes.assign(std::max<UINT32>(modeCount, 1), DISPLAYCONFIG_MODE_INFO{});
    const LONG result = displayapi::QueryDisplayConfig(flags, &pathCount, paths.data(), &modeCount,
                                                       modes.data(), nullptr);
    if (result == ERROR_SUCCESS) {
      // The system writes back how many elements it used; never trust more
      // than were allocated.
      paths.resize(std::min<UINT32>(pathCount, static_cast<UINT32>(paths.size())));
      modes.resize(std::min<UINT32>(modeCount, static_cast<UINT32>(modes.size())));
      return DisplayQueryResult::kRead;
    }
    if (result != ERROR_INSUFFICIENT_BUFFER || attempt == kDisplayQueryTries)
      return DisplayQueryResult::kQueryFailed;
  }
}
