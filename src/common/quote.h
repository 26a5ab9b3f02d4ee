// Quoting a path for a command line the way the launches here need it.
#pragma once

#include <string>

// The text between two double quotes when it holds a space (0x20), otherwise
// unchanged. Only the space counts, and nothing inside is escaped: embedded
// quotes and trailing backslashes pass as they stand.
std::string QuoteIfContainsSpace(const std::string& text);
std::wstring QuoteIfContainsSpace(const std::wstring& text);
