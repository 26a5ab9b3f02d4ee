// The EDID base block as this program edits it. The forms of EDID files are
// edid_form's. No Windows header: this builds natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "provision/edid_form.h"

// The name field of a monitor-name descriptor holds 13 bytes: at most 12
// characters and the 0A that ends them.
inline constexpr std::size_t kMaxMonitorNameLength = 12;

// Stores in byte 127 the value that makes the 128 bytes sum to 0 modulo 256.
void UpdateEdidChecksum(std::uint8_t* block);

// Writes `monitorname` (cut to 12 characters) and 0A into the first
// monitor-name descriptor of the base block (the first 128 bytes of
// `content`), keeping the field's later bytes, and updates the checksum.
// Returns 1 when the name was replaced, 0 when the block has no such
// descriptor (the block is then unchanged). Logs the header warning, the old
// and the new name.
int SetEdidMonitorName(std::vector<std::uint8_t>& content, const char* monitorname);
