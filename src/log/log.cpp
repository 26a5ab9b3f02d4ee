#include "log/log.h"

#include <share.h>
#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <optional>

#include "common/code_page.h"
#include "common/exe_dir.h"
#include "common/file_account.h"
#include "common/file_api_text.h"
#include "common/narrow_text.h"
#include "log/log_format.h"

namespace {

// Characters without a narrow form become the code page's default character,
// so one unusual monitor name costs one character, never the whole line. The
// flags are ones the code page accepts: UTF-8 and a few others refuse every
// flag but 0, which would turn every name into empty text.
std::string WideToAnsi(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  const UINT codePage = GetACP();
  const DWORD flags = WideConversionFlags(codePage);
  const int wideLength = static_cast<int>(length);
  const int size =
      WideCharToMultiByte(codePage, flags, text, wideLength, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  const int written =
      WideCharToMultiByte(codePage, flags, text, wideLength, narrow.data(), size, nullptr, nullptr);
  // Only what was written: unwritten bytes would end the message early.
  narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return narrow;
}

// Another run of the program for the same user (a logon task that fires
// twice) may hold the file for its own line at this very moment: fopen_s
// grants no sharing. Such a hold lasts a write, but the writer may wait for
// the processor first, and a machine at logon, when the task runs, is a busy
// one: wait up to a second for it rather than lose the line. Any other
// failure gives the line up at once.
constexpr ULONGLONG kOpenRetryBudgetMs = 1000;

// A file held for good (another program keeps it open) costs a run that
// second once, not once a line: after a line given up, each line tries once,
// until one gets through.
std::atomic<bool> g_heldForGood{false};

// The file is opened as fopen_s opens it in the Microsoft runtime, sharing
// nothing while the line is written, but asked for explicitly: mingw-w64's
// fopen_s (under Wine at least) shares everything, and two runs writing at
// once then overwrite each other's lines.
FILE* OpenForAppending(const std::string& path) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    if (FILE* file = _fsopen(path.c_str(), "a", _SH_DENYRW)) {
      g_heldForGood = false;
      return file;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return nullptr;
    if (g_heldForGood || GetTickCount64() - start >= kOpenRetryBudgetMs) {
      g_heldForGood = true;
      return nullptr;
    }
    Sleep(1);
  }
}

std::optional<std::string>& TestPath() {
  static std::optional<std::string> path;
  return path;
}

const std::string& LogFilePath() {
  if (TestPath()) return *TestPath();
  // Function-local static: worked out once, on the first message, thread-safely.
  static const std::string path = GetLogFilePath();
  return path;
}

}  // namespace

std::string SetLogFilePathForTesting(const std::string& path) {
  std::string previous = TestPath().value_or(std::string());
  g_heldForGood = false;  // another file: nothing is known of it yet
  if (path.empty()) {
    TestPath().reset();
  } else {
    TestPath() = path;
  }
  return previous;
}

namespace {

struct AppData {
  // One spare byte: even if the system fills all 260 without a terminator,
  // the text stays inside the array.
  char buffer[MAX_PATH + 1] = {};
  DWORD n = 0;
  bool usable() const { return n != 0 && n <= MAX_PATH; }
};

AppData ReadAppData() {
  AppData appdata;
  appdata.n = GetEnvironmentVariableA("APPDATA", appdata.buffer, MAX_PATH);
  return appdata;
}

std::string LogPathFor(const AppData& appdata) {
  if (!appdata.usable()) return GetExecutableDirectory() + "\\display.log";
  return std::string(appdata.buffer) + "\\harnfold\\log\\display.log";
}

LogSink& Sink() {
  static LogSink sink = nullptr;
  return sink;
}

}  // namespace

std::string PlannedLogFilePath() { return LogPathFor(ReadAppData()); }

LogSink SetLogSink(LogSink sink) {
  const LogSink previous = Sink();
  Sink() = sink;
  return previous;
}

std::string GetLogFilePath() {
  const AppData appdata = ReadAppData();

  const AsFileAccount account;
  if (!account.ok()) return LogPathFor(appdata);

  FILE* trace = _fsopen("c:\\dp.log", "ab", _SH_DENYNO);
  if (trace != nullptr) {
    std::fprintf(trace, "logpath %s, len %d .\n", appdata.buffer, static_cast<int>(appdata.n));
    std::fclose(trace);
  }

  if (appdata.usable()) {
    const std::string base(appdata.buffer);
    // Failures are expected when the directories exist already.
    CreateDirectoryW(FileApiWide(base + "\\harnfold").c_str(), nullptr);
    CreateDirectoryW(FileApiWide(base + "\\harnfold\\log").c_str(), nullptr);
  }
  return LogPathFor(appdata);
}

std::string FormatLogString(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatLogText(format, args, &WideToAnsi, AnsiEncoding());
  va_end(args);
  return text;
}

void LogMessage(const char* format, ...) {
  if (const LogSink sink = Sink()) {
    std::va_list args;
    va_start(args, format);
    const std::string message = FormatLogText(format, args, &WideToAnsi, AnsiEncoding());
    va_end(args);
    sink(message);
    return;
  }

  const std::string& path = LogFilePath();

  std::va_list args;
  va_start(args, format);
  const std::string message = FormatLogText(format, args, &WideToAnsi, AnsiEncoding());
  va_end(args);

  OutputDebugStringA(message.c_str());
  std::fputs(message.c_str(), stdout);

  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::string prefix =
      FormatLogPrefix(now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);

  // Text mode: every "\n" is stored as CR LF. Nothing is shared while the line
  // is written; the file is closed again before returning.
  const AsFileAccount account;
  if (!account.ok()) return;
  FILE* file = OpenForAppending(path);
  if (file == nullptr) return;
  std::fwrite(prefix.data(), 1, prefix.size(), file);
  std::fwrite(message.data(), 1, message.size(), file);
  std::fclose(file);
}
