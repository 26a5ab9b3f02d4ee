// The arrangement loop: up to five attempts to reach two active displays in
// extend topology with the virtual monitor primary.
#pragma once

#include <vector>

#include "display/enumerate.h"

// Whether a listed display is the virtual monitor: its monitor name is
// TargetMonitorNameW exactly, or its device name holds it.
bool IsTargetDisplay(const DisplayInfo& d);

// Re-lists the displays in every attempt; what `displays` and `activeCount`
// hold on entry plays no part. 0 when the virtual monitor ends up primary.
int ArrangeDisplays(std::vector<DisplayInfo>& displays, int& activeCount);
