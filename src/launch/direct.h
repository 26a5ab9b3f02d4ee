// The fallback: starting the companion program directly, in this program's
// own context, when the user-session launch failed.
#pragma once

#include <string>

// True when the companion process was created. Logs every outcome; never
// waits for the companion. An unknown executable directory starts nothing.
bool LaunchProtectDirect();

// The same launch with the executable directory given rather than asked for.
bool LaunchProtectDirectFrom(const std::string& exeDir);
