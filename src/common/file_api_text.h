// Narrow paths hold text in the code page the file APIs use (the ANSI code
// page unless the process switched them to the OEM one); these convert them
// for the wide Windows calls and back. Every narrow path that reaches a wide
// call goes through here, so the log and the profile files agree on a name.
#pragma once

#include <string>

// Empty when the text cannot be converted. Stops at an embedded NUL, as
// every Windows call taking the text would.
std::wstring FileApiWide(const std::string& text);
// Characters without a narrow form become the code page's default character.
std::string FileApiNarrow(const std::wstring& text);
