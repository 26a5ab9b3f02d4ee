// Choosing the EDID file whose name-encoded mode is closest to the wish.
#pragma once

#include <string>

#include "provision/profile_name.h"
#include "provision/target_mode.h"

// Scans "<exeDir>\edid" for "*.hex" entries named "WxHxF.hex", logs every
// candidate with its distance from the wanted mode, and returns the full path
// of the closest one (the first returned by the search among equals), or an
// empty string when no entry matches. `distance`, when given, receives the
// chosen profile's distance as logged.
std::string SelectEdidProfile(const TargetMode& target, std::string* distance = nullptr);
