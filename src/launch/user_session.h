// Starting the companion program as the user of the active console session:
// on that user's desktop, with that user's token and environment.
#pragma once

#include <optional>
#include <string>

#include "launch/session_choice.h"

// Lists the sessions and the processes (through the session seam), chooses
// by ChooseSession and releases both lists. Nothing is chosen when the
// snapshot cannot be taken or read.
SessionChoice FindSessionByProcessName(const std::wstring& name);

// The session the companion is started in: the console's; without one, that
// of an explorer.exe, else of a winlogon.exe (FindSessionByProcessName),
// logging as the launch does. nullopt when there is none.
std::optional<DWORD> ChooseLaunchSession();

// True when the companion process was created in the user's session. Every
// failure is logged, and every token, block and handle taken is released.
// Never waits for the companion. An unknown executable directory starts
// nothing.
bool LaunchProtectInUserSession();

// The same launch with the wide executable directory given rather than asked
// for: LaunchProtectInUserSession is this with GetExecutableDirectoryW().
bool LaunchProtectInUserSessionFrom(const std::wstring& exeDir);
