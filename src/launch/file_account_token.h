// The account this run's user files are written as (common/file_account.h):
// the console user's token when the program is the local system account and
// its APPDATA is that user's (the agent's run), else null.
#pragma once

#include <windows.h>

HANDLE FileAccountForRun();
