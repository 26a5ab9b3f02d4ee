#include "display/display_config_api.h"

namespace displayapi {

LONG GetDisplayConfigBufferSizes(UINT32 flags, UINT32* numPathArrayElements,
                                 UINT32* numModeInfoArrayElements) {
  return ::GetDisplayConfigBufferSizes(flags, numPathArrayElements, numModeInfoArrayElements);
}

LONG QueryDisplayConfig(UINT32 flags, UINT32* numPathArrayElements,
                        DISPLAYCONFIG_PATH_INFO* pathArray, UINT32* numModeInfoArrayElements,
                        DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                        DISPLAYCONFIG_TOPOLOGY_ID* currentTopologyId) {
  return ::QueryDisplayConfig(flags, numPathArrayElements, pathArray, numModeInfoArrayElements,
                              modeInfoArray, currentTopologyId);
}

LONG DisplayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* requestPacket) {
  return ::DisplayConfigGetDeviceInfo(requestPacket);
}

LONG SetDisplayConfig(UINT32 numPathArrayElements, DISPLAYCONFIG_PATH_INFO* pathArray,
                      UINT32 numModeInfoArrayElements, DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                      UINT32 flags) {
  return ::SetDisplayConfig(numPathArrayElements, pathArray, numModeInfoArrayElements,
                            modeInfoArray, flags);
}

}  // namespace displayapi
