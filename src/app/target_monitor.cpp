#include "app/target_monitor.h"

const std::string TargetMonitorName = "TovikMonitor";
const std::wstring TargetMonitorNameW = L"TovikMonitor";
