// Narrow paths hold text in the code page the file APIs use; these convert
// them for the wide Windows calls and back.
#pragma once

#include <string>

// Empty when the text cannot be converted.
std::wstring FileApiWide(const std::string& text);
// Characters without a narrow form become the code page's default character.
std::string FileApiNarrow(const std::wstring& text);
