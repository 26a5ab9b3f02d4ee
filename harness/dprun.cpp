// dprun: start a program with a controlled environment and working directory
// and pass on its output and exit code. Used by the demo, so that the program
// sees the APPDATA we choose rather than the one Wine makes up.
//
//   dprun [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR] [--wait-ms N] -- PROGRAM [ARGS...]
//
// --wait-ms: how long to wait for the program and what it started (default
// 120000); whatever still runs then is ended.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "run_program.h"

int wmain(int argc, wchar_t** argv) {
  RunOptions options;
  int i = 1;
  for (; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--") {
      ++i;
      break;
    }
    if (a == L"--env" && i + 1 < argc) {
      const std::wstring kv = argv[++i];
      const std::size_t eq = kv.find(L'=');
      if (eq == std::wstring::npos || eq == 0) {
        std::fprintf(stderr, "dprun: --env wants NAME=VALUE\n");
        return 2;
      }
      options.environment[kv.substr(0, eq)] = kv.substr(eq + 1);
    } else if (a == L"--unset" && i + 1 < argc) {
      options.environment[argv[++i]] = std::nullopt;
    } else if (a == L"--cwd" && i + 1 < argc) {
      options.workingDirectory = argv[++i];
    } else if (a == L"--wait-ms" && i + 1 < argc) {
      const unsigned long ms = std::wcstoul(argv[++i], nullptr, 10);
      if (ms == 0) {
        std::fprintf(stderr, "dprun: --wait-ms wants a number of milliseconds\n");
        return 2;
      }
      options.timeoutMs = ms;
    } else {
      std::fprintf(stderr, "dprun: unknown option %ls\n", a.c_str());
      return 2;
    }
  }
  if (i >= argc) {
    std::fprintf(
        stderr,
        "usage: dprun [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR] [--wait-ms N] -- "
        "PROGRAM "
        "[ARGS...]\n");
    return 2;
  }
  options.program = argv[i++];
  for (; i < argc; ++i) options.arguments.push_back(argv[i]);

  const RunResult r = RunProgram(options);
  if (!r.started) {
    std::fprintf(stderr, "dprun: could not start %ls (error %lu)\n", options.program.c_str(),
                 r.startError);
    return 127;
  }
  std::fwrite(r.output.data(), 1, r.output.size(), stdout);
  if (r.timedOut)
    std::fprintf(stderr, "dprun: %ls timed out and was stopped\n", options.program.c_str());
  return static_cast<int>(r.exitCode);
}
