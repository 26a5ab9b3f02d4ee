// Starts a Windows program the way an operator's scheduler would: in a chosen
// directory, with an environment block of our making (a program started from
// the Linux side gets APPDATA rewritten by Wine), and hands back its exit code
// and console output once it has ended.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

struct RunOptions {
  std::wstring program;                 // full path of the executable
  std::vector<std::wstring> arguments;  // quoted as needed
  std::wstring workingDirectory;        // empty: the caller's
  // Changes to the caller's environment: a value sets, nullopt removes.
  std::map<std::wstring, std::optional<std::wstring>> environment;
  DWORD timeoutMs = 120000;
  // Also wait for every process the program started (it never waits for them
  // itself), so that what they leave behind is complete when RunProgram returns.
  // Whatever still runs at the timeout is ended.
  bool waitForDescendants = true;
  // Runs the program under this process as its debugger and collects what it
  // sends to the debugger output (OutputDebugString), in order.
  bool captureDebugOutput = false;
  // Inheritable handles of the caller that the program inherits as well, with
  // the same values (only the output file is handed down otherwise).
  std::vector<HANDLE> inheritedHandles;
  // A console of its own for the program, without a window, as a scheduled
  // task's console program has one (a program Wine starts without a terminal
  // has none), so that what its children get of it shows. Its console host
  // (conhost.exe) then counts among the processes started.
  bool newConsole = false;
};

struct RunResult {
  bool started = false;
  DWORD startError = 0;                // GetLastError when not started
  bool timedOut = false;               // the program, or a process it started, was ended
  unsigned long processesStarted = 0;  // the program and everything it started
  DWORD exitCode = 0;
  std::string output;                     // standard output and standard error, as bytes
  std::string debugOutput;                // with captureDebugOutput: every debug string, joined
  std::vector<std::string> debugStrings;  // and one by one
};

RunResult RunProgram(const RunOptions& options);

// The caller's environment with `changes` applied, as a sorted UTF-16 block
// ready for CreateProcessW with CREATE_UNICODE_ENVIRONMENT.
std::wstring BuildEnvironmentBlock(
    const std::map<std::wstring, std::optional<std::wstring>>& changes);

// One command-line argument, quoted the way CommandLineToArgvW reads it back.
std::wstring QuoteArgument(const std::wstring& argument);
