// The provisioning sequence: read the wanted mode, pick the closest EDID
// profile, write the virtual monitor's name into it, start the helper.
#pragma once

#include <cstddef>

// Runs the four steps in order, whatever each of them reports; each logs its
// own outcome. Does not wait for the virtual monitor to appear.
void ProvisionVirtualMonitor();

// The same sequence with what GetModuleFileNameA left in its buffer given
// rather than asked for (`capacity` bytes, not necessarily terminated when the
// name was cut): ProvisionVirtualMonitor is this with the running module's.
void ProvisionVirtualMonitorFrom(const char* module, std::size_t capacity);
