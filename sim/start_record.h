// How a simulated program was started, kept for the tests and the demo: the
// stand-ins for the programs displayprep launches append one record per
// start to a file beside themselves, so that a test can check the command
// line and the current directory the launch really produced.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace sim {

struct StartRecord {
  unsigned long processId = 0;
  std::string commandLine;             // GetCommandLineW, UTF-8
  std::vector<std::string> arguments;  // CommandLineToArgvW, the program's own name first
  std::string currentDirectory;
  std::string desktop;             // the start-up record's lpDesktop, as the launcher passed it
  unsigned long startupFlags = 0;  // its dwFlags
  unsigned showWindow = 0;         // its wShowWindow
  // The variable kProbeVariable, which a test sets in the launching program's
  // environment only: present when the program inherited that environment.
  bool hasProbeVariable = false;
  // Whether the program has a console of its own to write to (CONOUT$ opens).
  bool hasConsole = false;
  // Whether the launcher's probe handle reached it: the value written in the
  // handle probe file beside the program is, in this process, a handle to
  // the same file. False when there is no probe file.
  bool inheritedProbeHandle = false;
};

inline constexpr const wchar_t* kProbeVariable = L"DP_LAUNCHER_ONLY";

// The handle probe: "<executable without .exe>.handle" beside a program holds
// the value of an inheritable handle that its launcher holds, open on a file,
// and that file's path. A handle value alone proves nothing (a new process
// may hold any value for its own objects); the same file behind it does.
std::wstring HandleProbeFileFor(const std::wstring& program);
bool WriteHandleProbe(const std::wstring& program, HANDLE handle, const std::wstring& file);

// The running process's record.
StartRecord CurrentStart();

// "<executable without .exe>.starts" beside the running program.
std::wstring StartRecordFileBesideProgram();

// One JSON object per line, appended. False when the file cannot be written.
bool AppendStartRecord(const std::wstring& file, const StartRecord& record);

// Every record in the file, oldest first; empty when the file is missing.
// Lines that are not records are skipped.
std::vector<StartRecord> ReadStartRecords(const std::wstring& file);

// Waits, for at most `timeoutMs` in all, until `file` holds at least `count`
// records and every program that wrote one has ended; a launch does not wait,
// and a program still running holds its files and handles. A writer still
// running at the deadline is ended here, so that one stuck program fails one
// wait instead of every later one. False on a timeout of either kind; the
// records read are left in `records` when it is given.
bool AwaitStarts(const std::wstring& file, std::size_t count, unsigned long timeoutMs,
                 std::vector<StartRecord>* records = nullptr);

}  // namespace sim
