// Choosing the EDID file whose name-encoded mode is closest to the wish.
#pragma once

#include <string>

#include "provision/profile_name.h"
#include "provision/target_mode.h"

// Scans "<exeDir>\edid" for "*.hex" entries named "WxHxF.hex", logs every
// candidate with its distance from the wanted mode, and returns the full path
// of the closest one (the first returned by the search among equals), or an
// empty string when no entry matches.
std::string SelectEdidProfile(const TargetMode& target);
