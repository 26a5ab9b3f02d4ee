// The two rules that turn what GetModuleFileName left in a buffer into the
// executable's directory. No Windows header: this builds natively too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/narrow_text.h"

// The executable-directory helpers' rule: `result` is GetModuleFileName's
// return value and `capacity` the buffer size. 0 (failure) or a result of the
// whole capacity (the name was cut) gives empty text; otherwise the first
// `result` characters up to their last backslash or slash, or empty text when
// there is none. Only those characters are looked at, so an unterminated
// buffer is never read past its end. Narrow text is scanned by character, so
// the second byte of a double-byte character is never taken for a separator.
std::string DirectoryFromModuleName(const char* buffer, std::uint32_t result,
                                    std::uint32_t capacity, const NarrowEncoding& encoding = {});
std::wstring DirectoryFromModuleName(const wchar_t* buffer, std::uint32_t result,
                                     std::uint32_t capacity);

// A directory as the current directory of a process to be started. A bare
// drive designator ("C:", the directory of a program in a drive's root) names
// that drive's current directory, not its root, so the root is handed over
// with its separator ("C:\\"); anything else passes unchanged.
std::string StartingDirectory(const std::string& directory);

// The provisioning sequence's own rule, applied to the buffer in place: the
// text up to the first zero byte (or the whole buffer when it holds none, as
// after a cut name), then everything before its last backslash or slash;
// without a separator the whole text. Scanned by character, as above.
std::string ModuleDirectoryInPlace(const char* buffer, std::size_t capacity,
                                   const NarrowEncoding& encoding = {});
