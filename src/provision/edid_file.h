// Loading an EDID file, hex text or raw bytes. Standard streams only, no
// Windows header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Larger files are refused unread: an EDID of 8192 blocks is already absurd.
inline constexpr std::int64_t kMaxEdidFileSize = 1 << 20;

// Fills `content` from the file at `path` and returns the number of bytes
// placed there. A positive multiple of 128 bytes is taken raw, anything else
// as hex text. Returns 0 for an empty path, a file that cannot be opened, or
// one over kMaxEdidFileSize (with a log line); after a read error it logs
// "read edid %s failed.", leaves `content` alone and returns the file length.
std::int64_t ReadEdidFile(const std::string& path, std::vector<std::uint8_t>& content);
