// Where the companion protection program stands: below the executable
// directory, started without arguments.
#pragma once

inline constexpr const char* kCompanionRelativePath = "\\rent_protect\\zanbyprotect.exe";
inline constexpr const wchar_t* kCompanionRelativePathW = L"\\rent_protect\\zanbyprotect.exe";
