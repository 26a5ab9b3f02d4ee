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

// Where GetLogFilePath would put display.log, worked out the same way but
// without its side effects: no directory made, no trace line.
std::string PlannedLogFilePath();

// A program that only looks (the pre-flight check) runs the logging units
// without logging: while a sink is set, each message is formatted as always
// and handed to the sink alone. Nothing goes to the debugger, the console or
// a file, and the log path is not worked out. Null removes the sink; returns
// the one it replaces.
using LogSink = void (*)(const std::string& message);
LogSink SetLogSink(LogSink sink);

// Tests point the log at a file of their own; the path stays until changed.
// Returns the path it replaces (empty: the log's own).
std::string SetLogFilePathForTesting(const std::string& path);

// Formats exactly as LogMessage does (same dialect, same wide-text handling,
// same 2047-byte cut) without logging, for callers that build a line first.
std::string FormatLogString(const char* format, ...);
