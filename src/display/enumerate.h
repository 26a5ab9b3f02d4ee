// Listing the machine's display paths.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// One display target: its adapter and its id on it.
struct TargetKey {
  LUID adapterId = {};
  std::uint32_t targetId = 0;
  friend bool operator==(const TargetKey& a, const TargetKey& b) {
    return a.adapterId.LowPart == b.adapterId.LowPart &&
           a.adapterId.HighPart == b.adapterId.HighPart && a.targetId == b.targetId;
  }
};

// One listed display path. positionY comes before positionX on purpose: the
// final listing prints the vertical coordinate first.
struct DisplayInfo {
  std::uint32_t pathIndex = 0;  // index in the all-paths query that produced it
  std::wstring deviceName;      // source GDI name, e.g. \\.\DISPLAY1; empty if unknown
  std::wstring monitorName;     // target friendly name; empty if unknown
  LUID adapterId = {};
  std::uint32_t sourceId = 0;
  bool isActive = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool isPrimary = false;  // source mode at desktop (0,0)
  std::int32_t positionY = 0;
  std::int32_t positionX = 0;
  TargetKey target;  // the monitor this path shows on
};

// Appends one record per available target that has a source mode (first path
// in query order wins) and sets activeCount to the number of active records
// appended. On failure it logs why, appends nothing and leaves activeCount.
bool EnumerateDisplays(std::vector<DisplayInfo>& displays, int& activeCount);
