// Reading the display configuration: size the arrays, then query into them.
#pragma once

#include <windows.h>

#include <vector>

// How many queries a read makes at most. A query answers
// ERROR_INSUFFICIENT_BUFFER when the configuration grew after the sizes were
// asked for (a display coming up, say); the read then sizes and queries
// again, up to this many queries in all.
inline constexpr int kDisplayQueryTries = 3;

enum class DisplayQueryResult {
  kRead,         // the arrays hold the answer, cut to the counts written back
  kSizesFailed,  // GetDisplayConfigBufferSizes failed
  kEmpty,        // no path or no mode to ask for (only when the caller refuses that)
  kQueryFailed,  // QueryDisplayConfig failed, or answered 122 on every try
};

// Sizes `paths` and `modes` for `flags` and queries into them. With
// `refuseEmpty` a zero count ends the read as kEmpty; without it the zero
// count is queried as it is (arrays of one element, never null), and the
// system's ERROR_INVALID_PARAMETER for it ends the read as kQueryFailed.
DisplayQueryResult ReadDisplayConfig(UINT32 flags, bool refuseEmpty,
                                     std::vector<DISPLAYCONFIG_PATH_INFO>& paths,
                                     std::vector<DISPLAYCONFIG_MODE_INFO>& modes);
