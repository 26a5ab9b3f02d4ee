// Starting a program that stands beside this one and leaving it to run: the
// launch of the helper and the direct launch of the companion share it.
#pragma once

#include <windows.h>

#include <string>

// Starts `commandLine` (with `application` as the program, or, when that is
// null, its first token) in `exeDir`, the root where that is a bare drive
// (StartingDirectory). The start-up record holds nothing but its size; no
// handle is inherited, no creation flag given. Both handles of the new
// process are closed at once and nothing waits for it. True when the process
// was created; otherwise the system's error is in `error`.
bool StartProcessIn(const char* application, const std::string& commandLine,
                    const std::string& exeDir, DWORD* error);
