// The display-configuration seam: the four Windows calls the program makes on
// the display database, with their Windows signatures. The shipped program
// links display_config_win.cpp (straight through to user32); the simulated
// build and the tests link the simulated display stack instead.
#pragma once

#include <windows.h>

namespace displayapi {

LONG GetDisplayConfigBufferSizes(UINT32 flags, UINT32* numPathArrayElements,
                                 UINT32* numModeInfoArrayElements);

LONG QueryDisplayConfig(UINT32 flags, UINT32* numPathArrayElements,
                        DISPLAYCONFIG_PATH_INFO* pathArray, UINT32* numModeInfoArrayElements,
                        DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                        DISPLAYCONFIG_TOPOLOGY_ID* currentTopologyId);

LONG DisplayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* requestPacket);

LONG SetDisplayConfig(UINT32 numPathArrayElements, DISPLAYCONFIG_PATH_INFO* pathArray,
                      UINT32 numModeInfoArrayElements, DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                      UINT32 flags);

}  // namespace displayapi
