// The display seam called as a caller hands it arrays, whoever answers it:
// the simulated stack or the system's own calls. Header only, with nothing
// of the simulated stack, so that the contract table's real tier can use it.
#pragma once

#include <vector>

#include "display/display_config_api.h"

namespace dptest {

// SetDisplayConfig with the counts the arrays' sizes, and null for an empty one.
inline LONG SetConfig(std::vector<DISPLAYCONFIG_PATH_INFO> paths,
                      std::vector<DISPLAYCONFIG_MODE_INFO> modes, UINT32 flags) {
  return displayapi::SetDisplayConfig(
      static_cast<UINT32>(paths.size()), paths.empty() ? nullptr : paths.data(),
      static_cast<UINT32>(modes.size()), modes.empty() ? nullptr : modes.data(), flags);
}

}  // namespace dptest
