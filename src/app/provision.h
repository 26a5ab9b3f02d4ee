// The provisioning sequence: read the wanted mode, pick the closest EDID
// profile, write the virtual monitor's name into it, start the helper.
#pragma once

#include <cstddef>
#include <string>

// Runs the four steps in order, whatever each of them reports; each logs its
// own outcome. Does not wait for the virtual monitor to appear.
void ProvisionVirtualMonitor();

// The directory rule the sequence applies to the module-name buffer in place:
// the text up to the first zero byte (or the whole buffer when it holds none,
// as after a cut name), then everything before its last backslash or slash;
// without a separator the whole text.
std::string ModuleDirectoryInPlace(const char* buffer, std::size_t capacity);
