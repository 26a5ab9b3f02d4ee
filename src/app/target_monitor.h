// The virtual monitor's name: written into its EDID, looked for among the
// listed displays.
#pragma once

#include <string>

extern const std::string TargetMonitorName;    // "TovikMonitor"
extern const std::wstring TargetMonitorNameW;  // L"TovikMonitor"
