// The program's one output channel. Every message goes to the debugger, to
// standard output and, behind a local-time prefix, to display.log.
#pragma once

#include <string>

// printf-style; callers use %s %d %u %ld %lu %zu, and %ws / %ls for wide text.
void LogMessage(const char* format, ...);

// Works out where display.log lives (creating the per-user log directories on
// the way) and appends the one trace line to c:\dp.log. LogMessage calls it on
// its first message and keeps the answer for the rest of the process.
std::string GetLogFilePath();

// Tests point the log at a file of their own; the path stays until changed.
// Returns the path it replaces (empty: the log's own).
std::string SetLogFilePathForTesting(const std::string& path);

// Formats exactly as LogMessage does (same dialect, same wide-text handling,
// same 2047-byte cut) without logging, for callers that build a line first.
std::string FormatLogString(const char* format, ...);
