// edidgen import: an EDID an operator has (a real monitor's, in any form the
// program's reader recognises) made into a profile the program can use, named
// for its preferred mode and carrying the monitor name TovikMonitor. Plain
// C++: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "edidgen.h"

namespace edidgen {

inline constexpr const char* kImportedMonitorName = "TovikMonitor";

struct Imported {
  bool ok = false;
  std::string error;               // why it was refused: one line, the problem named
  Mode mode;                       // the preferred timing's: the profile is ModeFileName(mode)
  std::vector<std::uint8_t> edid;  // the base block renamed, extension blocks as they were
  std::string summary;             // what was found and what was changed
};

// Takes the EDID out of a file holding the `size` bytes at `data`, and writes
// the name into the base block's first monitor-name descriptor; any further
// one becomes a dummy descriptor (a second name would stand beside
// TovikMonitor). Without a name descriptor, the first dummy descriptor's
// slot takes the name, or else the first text descriptor's. Refused: a file
// in no known form, one that is not an EDID, no preferred detailed timing,
// no slot for the name.
Imported ImportEdid(const char* data, std::size_t size);

}  // namespace edidgen
