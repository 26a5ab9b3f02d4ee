// Loading an EDID file, hex text or raw bytes. Standard streams only, no
// Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "provision/edid_form.h"

enum class EdidFileLoad { kLoaded, kNotOpened, kNoLength, kTooLarge, kReadFailed };

// Puts the bytes of the file at `path` into `data` and its length into
// `length` (0 when unknown). Never more than kMaxEdidFileSize bytes: a larger
// file is not read. Logs nothing.
EdidFileLoad LoadEdidFile(const std::string& path, std::string& data, std::int64_t& length);

// Fills `content` from the file at `path` as ReadEdidBytes does and returns
// its count. Returns 0 for an empty path, a file that cannot be opened, or
// one over kMaxEdidFileSize (with a log line); after a read error it logs
// "read edid %s failed.", leaves `content` alone and returns the file length.
std::int64_t ReadEdidFile(const std::string& path, std::vector<std::uint8_t>& content);
