// The running executable's directory, without a trailing separator; empty
// text when the module name cannot be read whole.
#pragma once

#include <cstdint>
#include <string>

std::string GetExecutableDirectory();
std::wstring GetExecutableDirectoryW();

// The rule both helpers apply to what GetModuleFileName left in `buffer`:
// `result` is its return value and `capacity` the buffer size. Only the first
// `result` characters are looked at, so an unterminated buffer is never read
// past its end.
std::string DirectoryFromModuleName(const char* buffer, std::uint32_t result,
                                    std::uint32_t capacity);
std::wstring DirectoryFromModuleName(const wchar_t* buffer, std::uint32_t result,
                                     std::uint32_t capacity);
