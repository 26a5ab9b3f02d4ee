// Files as the tests read, write and list them: a narrow path is text in the
// ANSI code page, a wide one (or a std::filesystem::path) the path in full.
// Reading gives the bytes, empty when there is nothing to read; writing says
// whether the bytes were written.
#pragma once

#include <string>
#include <vector>

namespace dptest {

std::string ReadFileBytes(const std::string& path);
std::string ReadFileBytes(const std::wstring& path);

// Writes `bytes` to `path` exactly, its folders made as needed.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// The names a directory search for `pattern` ("dir\\*", "dir\\*.hex") finds,
// in the order the search returns them, without "." and "..".
std::vector<std::string> FindNames(const std::string& pattern);
std::vector<std::wstring> FindNames(const std::wstring& pattern);

// For the edid-decode checks that bash runs after a test
// (tests/provision/check_rewritten.sh): when the environment variable
// `folderVariable` names a folder, `bytes` are left there as `name`, listed
// in the folder's manifest.txt. True when written, or when not asked for.
bool LeaveForEdidDecode(const char* folderVariable, const std::string& name,
                        const std::string& bytes);

}  // namespace dptest
