// The system's own text for a Windows error code, as one log line.
#pragma once

#include <string>

// Logs the system's own text for a Windows error code, when it has one.
void LogSystemError(long errorCode);

// "Error %ld: %ws\n" with the system text as given, cut to fit 512 bytes.
std::string FormatSystemErrorLine(long errorCode, const wchar_t* systemText);
