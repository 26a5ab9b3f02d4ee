// The EDID base block as this program edits it, and the hex text form of EDID
// files. No Windows header: this builds natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr std::size_t kEdidBlockSize = 128;
// The name field of a monitor-name descriptor holds 13 bytes: at most 12
// characters and the 0A that ends them.
inline constexpr std::size_t kMaxMonitorNameLength = 12;

// A file whose length is a positive multiple of 128 holds raw bytes; any
// other length is hex text. The length alone decides.
bool IsRawEdidLength(std::int64_t length);

// Hex text to bytes: the six ASCII white-space characters are skipped
// anywhere, every other character counts as a digit (see HexDigitValue), pairs
// of digits make a byte, and a lone digit at the end is dropped.
std::vector<std::uint8_t> DecodeEdidHexText(const char* text, std::size_t size);

// The digit rule, applied to any character: codes above '9' have bit 5
// cleared and 55 taken off (so A-F and a-f give 10-15), others have 48 taken
// off, all in 8-bit arithmetic.
std::uint8_t HexDigitValue(char c);

// Stores in byte 127 the value that makes the 128 bytes sum to 0 modulo 256.
void UpdateEdidChecksum(std::uint8_t* block);

// Writes `monitorname` (cut to 12 characters) and 0A into the first
// monitor-name descriptor of the base block (the first 128 bytes of
// `content`), keeping the field's later bytes, and updates the checksum.
// Returns 1 when the name was replaced, 0 when the block has no such
// descriptor (the block is then unchanged). Logs the header warning, the old
// and the new name.
int SetEdidMonitorName(std::vector<std::uint8_t>& content, const char* monitorname);
