// What the simulated virtual-display helper takes from the EDID it is given:
// the monitor name and the preferred mode. No Windows header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct VirtualDisplaySpec {
  std::string name;  // the monitor-name descriptor's text (tag FC), up to its 0A
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t refreshHz = 0;  // pixel clock / (total pixels x total lines), rounded
};

// Reads the base block as a display driver would before it trusts it: the
// EDID header, the block checksum, a detailed timing in descriptor slot 1 (the
// preferred one) and a monitor-name descriptor in one of the four slots.
// False, with the reason in `error`, when any of them is missing or unsound.
bool ParseVirtualDisplayEdid(const std::vector<std::uint8_t>& content, VirtualDisplaySpec* shown,
                             std::string* error);

}  // namespace sim
