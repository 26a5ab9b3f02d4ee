// Where the companion protection program stands: below the executable
// directory, started without arguments.
#pragma once

#include <optional>
#include <string>

inline constexpr const char* kCompanionRelativePath = "\\rent_protect\\zanbyprotect.exe";
inline constexpr const wchar_t* kCompanionRelativePathW = L"\\rent_protect\\zanbyprotect.exe";

// The companion's path below `exeDir` when a launch may start it, the rule
// both launches keep: nothing from an unknown executable directory (the path
// would name the current drive's root, where any user may create the
// folder), and nothing where no file or folder of its name stands.
// Otherwise nullopt, after a line naming `launch` or the path. The narrow
// form is the direct launch's, the wide one the user-session launch's, whose
// not-found line has no line end.
std::optional<std::string> CompanionToStart(const std::string& exeDir, const char* launch);
std::optional<std::wstring> CompanionToStart(const std::wstring& exeDir, const char* launch);
