// The provisioning sequence: read the wanted mode, pick the closest EDID
// profile, write the virtual monitor's name into it, start the helper.
#pragma once

// Runs the four steps in order, whatever each of them reports; each logs its
// own outcome. Does not wait for the virtual monitor to appear.
void ProvisionVirtualMonitor();
