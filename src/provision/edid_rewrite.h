// Writing the virtual monitor's name into the chosen EDID file.
#pragma once

#include <string>

#include "provision/edid_codec.h"
#include "provision/edid_file.h"

// Why the rewrite could not put new bytes under `filename` (read-only, a
// folder, not to be opened for writing), found without changing anything;
// empty when it could. The rewrite asks this first, and so does the
// pre-flight check.
std::string WhyEdidFileCannotBeRewritten(const std::string& filename);

// Loads `filename` (hex text or raw), writes `monitorname` into the base
// block's monitor-name descriptor with a new checksum, and writes the whole
// content back as raw bytes. The new content goes to a temporary file in the
// same directory that replaces the original only once it is completely
// written, so a failure leaves the original byte for byte as it was, and no
// file of the rewrite's own is left beside it. True only when the file was
// rewritten.
bool change_edid_monitor_name(const char* filename, const char* monitorname);
