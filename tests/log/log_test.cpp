#include "log/log.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "common/exe_dir.h"
#include "support/app_data.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

const char* const kPrefix = dptest::kLogPrefixPattern;

using dptest::EmptyTraceFile;
using dptest::ScopedAppData;

bool IsDirectory(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(LogFile, LinesCarryThePrefixAndEndInCrLf) {
  dptest::LogCapture log;
  LogMessage("EnumerateDisplays failed.\n");
  LogMessage("no line end");
  LogMessage("%s %d\n", "joined", 2);
  LogMessage("");
  LogMessage("%ws\n", L"last");

  const std::string p = kPrefix;
  const std::regex expected(p + R"(EnumerateDisplays failed\.\r\n)" + p + "no line end" + p +
                            R"(joined 2\r\n)" + p + p + "last\r\n");
  EXPECT_TRUE(std::regex_match(log.Raw(), expected)) << log.Raw();
  EXPECT_EQ(log.Messages(),
            "EnumerateDisplays failed.\nno line end"
            "joined 2\nlast\n");
}

TEST(LogFile, PrefixShowsTheLocalTimeInItsOrder) {
  // The prefix's time lies between the local times read before and after the
  // message, field by field in the order month, day, hour, minute, second,
  // milliseconds: any two fields swapped would fall outside (unless equal).
  auto key = [](const SYSTEMTIME& t) {  // compared field by field, in this order
    return std::tuple(t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  };
  for (int attempt = 0; attempt < 3; ++attempt) {
    dptest::LogCapture log;
    SYSTEMTIME before, after, at{};
    GetLocalTime(&before);
    LogMessage("x");
    GetLocalTime(&after);
    if (after.wDay != before.wDay) continue;  // straddled midnight: the key would wrap
    const std::string raw = log.Raw();
    ASSERT_EQ(std::sscanf(raw.c_str(), "[%2hu/%2hu-%2hu:%2hu:%2hu.%3hu]: ", &at.wMonth, &at.wDay,
                          &at.wHour, &at.wMinute, &at.wSecond, &at.wMilliseconds),
              6)
        << raw;
    EXPECT_LE(key(before), key(at)) << raw;
    EXPECT_LE(key(at), key(after)) << raw;
    EXPECT_EQ(raw.substr(20, 3), ": x");
    return;
  }
  FAIL() << "midnight three times in a row";
}

TEST(LogFile, AppendsAndNeverTruncates) {
  dptest::LogCapture log;
  ASSERT_TRUE(dptest::WriteFileBytes(log.path(), "earlier run\r\n"));
  LogMessage("next run\n");
  const std::string raw = log.Raw();
  EXPECT_EQ(raw.rfind("earlier run\r\n", 0), 0u) << raw;
  EXPECT_TRUE(
      std::regex_match(raw, std::regex(std::string("earlier run\r\n") + kPrefix + "next run\r\n")));
}

TEST(LogFile, LongMessageIsCutTheSameInTheFile) {
  dptest::LogCapture log;
  LogMessage("%s", std::string(5000, 'z').c_str());
  EXPECT_EQ(log.Messages(), std::string(2047, 'z'));
}

// Another process writing its own line holds the file without sharing for a
// moment: the line waits for it instead of being lost. One that keeps the
// file is waited for only briefly.
// The capture's file, created empty and held open without sharing.
HANDLE HoldWithoutSharing(const dptest::LogCapture& log) {
  EXPECT_TRUE(dptest::WriteFileBytes(log.path(), ""));
  HANDLE holder = CreateFileA(log.path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(holder, INVALID_HANDLE_VALUE);
  return holder;
}

// Logs the line while the holder keeps the file, which a thread of its own
// closes a few milliseconds later.
void LogDuringABriefHold(HANDLE holder, const char* line) {
  HANDLE release = CreateThread(
      nullptr, 0,
      [](void* h) -> DWORD {
        Sleep(5);
        CloseHandle(static_cast<HANDLE>(h));
        return 0;
      },
      holder, 0, nullptr);
  ASSERT_NE(release, nullptr);
  LogMessage("%s", line);
  WaitForSingleObject(release, INFINITE);
  CloseHandle(release);
}

TEST(LogFile, FileHeldForAMomentStillGetsTheLine) {
  dptest::LogCapture log;
  HANDLE holder = HoldWithoutSharing(log);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  LogDuringABriefHold(holder, "written after the hold\n");
  EXPECT_EQ(log.Messages(), "written after the hold\n");
}

// A file another program keeps: the first line waits a second for it, the
// next ones do not wait at all, and once a line gets through again, a brief
// hold is waited for again.
TEST(LogFile, FileHeldForGoodCostsOneWaitNotOneALine) {
  dptest::LogCapture log;
  HANDLE holder = HoldWithoutSharing(log);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ULONGLONG start = GetTickCount64();
  LogMessage("lost to the file, not to the console\n");
  const ULONGLONG first = GetTickCount64() - start;
  start = GetTickCount64();
  LogMessage("lost as well\n");
  LogMessage("and this\n");
  const ULONGLONG next = GetTickCount64() - start;
  CloseHandle(holder);
  EXPECT_EQ(log.Messages(), "");
  EXPECT_GE(first, 900u) << "the first line waited for the holder";
  EXPECT_LT(first, 5000u) << "and gave up within a moment";
  EXPECT_LT(next, 500u) << "the next lines did not wait";

  LogMessage("the file is free again\n");
  HANDLE again = CreateFileA(log.path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  LogDuringABriefHold(again, "written after a brief hold\n");
  EXPECT_EQ(log.Messages(), "the file is free again\nwritten after a brief hold\n");
}

TEST(LogFile, UnwritableLogPathLosesOnlyTheFileLine) {
  dptest::TempDir dir;
  SetLogFilePathForTesting(dir.File("missing\\display.log"));
  LogMessage("goes to the console only\n");  // must not crash or create anything
  EXPECT_FALSE(IsDirectory(dir.File("missing")));
  dptest::LogCapture log;
  LogMessage("back\n");
  EXPECT_EQ(log.Messages(), "back\n");
}

TEST(TraceFile, UnderAppDataBothDirectoriesAreCreatedAndTheLineTraced) {
  dptest::TempDir dir;
  EmptyTraceFile trace;
  ScopedAppData appdata(dir.path());
  const std::string path = GetLogFilePath();
  EXPECT_EQ(path, dir.path() + "\\harnfold\\log\\display.log");
  EXPECT_TRUE(IsDirectory(dir.File("harnfold")));
  EXPECT_TRUE(IsDirectory(dir.File("harnfold\\log")));
  // Binary append: the line ends in LF alone.
  const std::string line =
      "logpath " + dir.path() + ", len " + std::to_string(dir.path().size()) + " .\n";
  EXPECT_EQ(trace.Now(), line);

  // Existing directories are no obstacle on the next run, which appends.
  EXPECT_EQ(GetLogFilePath(), path);
  EXPECT_EQ(trace.Now(), line + line);
}

TEST(TraceFile, WithoutUsableAppDataTheLogLiesBesideTheExecutable) {
  struct Case {
    const char* name;
    std::string value;  // empty: unset
    const char* trace;
  } cases[] = {{"unset", "", "logpath , len 0 .\n"},
               // The buffer stays empty and the count is the size that would be needed.
               {"too long", std::string(300, 'a'), "logpath , len 301 .\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EmptyTraceFile trace;
    ScopedAppData appdata(c.value.empty() ? std::nullopt : std::optional<std::string>(c.value));
    EXPECT_EQ(GetLogFilePath(), GetExecutableDirectory() + "\\display.log");
    EXPECT_EQ(trace.Now(), c.trace);
    // With no data directory there is none to create: nothing at the root of
    // the current drive, where an empty one would lead.
    EXPECT_FALSE(IsDirectory("\\harnfold"));
  }
}

TEST(LogFilePath, AppDataThatDoesNotExistLeavesNothingBehind) {
  dptest::TempDir dir;
  const std::string missing = dir.File("gone");
  ScopedAppData appdata(missing);
  EXPECT_EQ(GetLogFilePath(), missing + "\\harnfold\\log\\display.log");
  EXPECT_FALSE(IsDirectory(missing));  // one level at a time: no parents made up
}

// The log sink and the planned log path: what the pre-flight check relies on
// to run the logging units without leaving a line or a folder behind.
std::vector<std::string> g_taken;
void Take(const std::string& message) { g_taken.push_back(message); }

TEST(LogSink, TakesEveryMessageAndNothingReachesTheFile) {
  dptest::TempDir dir;
  const std::string file = dir.File("display.log");
  const std::string previousPath = SetLogFilePathForTesting(file);
  g_taken.clear();
  ASSERT_EQ(SetLogSink(&Take), nullptr);
  LogMessage("Found file: %s --> w=%d\n", "2560x1440x60.hex", 2560);
  LogMessage("WTSQueryUserToken failed. Error: %d", 1314);
  LogMessage("%ws", L"TovikMonitor");
  EXPECT_EQ(SetLogSink(nullptr), &Take);
  EXPECT_EQ(g_taken,
            (std::vector<std::string>{"Found file: 2560x1440x60.hex --> w=2560\n",
                                      "WTSQueryUserToken failed. Error: 1314", "TovikMonitor"}));
  EXPECT_EQ(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES) << "the file was written";

  // Without the sink the log is the log again.
  LogMessage("after\n");
  EXPECT_EQ(g_taken.size(), 3u);
  EXPECT_EQ(dptest::StripLogPrefixes(dptest::ReadFileBytes(file)), "after\n");
  SetLogFilePathForTesting(previousPath);
}

TEST(PlannedLogFilePath, WhereTheLogWouldGoWithoutMakingIt) {
  dptest::TempDir dir;
  {
    ScopedAppData appdata(dir.path());
    EXPECT_EQ(PlannedLogFilePath(), dir.path() + "\\harnfold\\log\\display.log");
    EXPECT_EQ(GetFileAttributesA(dir.File("harnfold").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the folder was made";
  }
  {
    ScopedAppData appdata(std::nullopt);
    EXPECT_EQ(PlannedLogFilePath(), GetExecutableDirectory() + "\\display.log");
  }
  ScopedAppData appdata("C:\\" + std::string(300, 'a'));
  EXPECT_EQ(PlannedLogFilePath(), GetExecutableDirectory() + "\\display.log");
}

}  // namespace
