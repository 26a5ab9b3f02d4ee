// Starting the virtual-display helper wkex.exe, which stands beside the
// program, with the chosen EDID file.
#pragma once

#include <string>

// "<exeDir>\wkex.exe": the helper's path, used unquoted as the application name.
std::string KexHelperPath(const std::string& exeDir);

// The helper's command line: the helper path and `best_hex`, each quoted only
// when it holds a space, joined by " /d ". Nothing else.
std::string BuildKexCommandLine(const std::string& helperPath, const std::string& best_hex);

// Starts the helper with `best_hex` in the executable directory and returns at
// once; the helper is never waited for and no handle to it is kept. True when
// the process was created. An empty `best_hex` or an unknown executable
// directory starts nothing. Every outcome is logged.
bool LaunchKexWithHex(const std::string& best_hex);

// The same launch with the executable directory given rather than asked for:
// LaunchKexWithHex is this with GetExecutableDirectory().
bool LaunchKexFromDirectory(const std::string& exeDir, const std::string& best_hex);
