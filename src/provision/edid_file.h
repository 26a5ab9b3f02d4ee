// Loading an EDID file, hex text or raw bytes. Standard streams only, no
// Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Larger files are refused unread: an EDID of 8192 blocks is already absurd.
inline constexpr std::int64_t kMaxEdidFileSize = 1 << 20;

// Replaces `content` with the EDID that a file holding the `size` bytes at
// `data` gives, and returns the number of bytes placed there: a positive
// multiple of 128 bytes is taken raw, anything else as hex text. Logs nothing.
std::int64_t ReadEdidBytes(const char* data, std::size_t size, std::vector<std::uint8_t>& content);

// Fills `content` from the file at `path` as ReadEdidBytes does and returns
// its count. Returns 0 for an empty path, a file that cannot be opened, or
// one over kMaxEdidFileSize (with a log line); after a read error it logs
// "read edid %s failed.", leaves `content` alone and returns the file length.
std::int64_t ReadEdidFile(const std::string& path, std::vector<std::uint8_t>& content);
