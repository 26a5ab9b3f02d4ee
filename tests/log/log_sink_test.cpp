// The log sink and the planned log path: what the pre-flight check relies on
// to run the logging units without leaving a line or a folder behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "common/exe_dir.h"
#include "log/log.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using dptest::ReadFileBytes;
using dptest::StripLogPrefixes;
using dptest::TempDir;

std::vector<std::string> g_taken;
void Take(const std::string& message) { g_taken.push_back(message); }

class AppDataFor {
 public:
  explicit AppDataFor(const char* value) {
    char old[32768];
    const DWORD n = GetEnvironmentVariableA("APPDATA", old, sizeof old);
    had_ = n > 0 && n < sizeof old;
    if (had_) old_ = old;
    SetEnvironmentVariableA("APPDATA", value);
  }
  ~AppDataFor() { SetEnvironmentVariableA("APPDATA", had_ ? old_.c_str() : nullptr); }

 private:
  std::string old_;
  bool had_ = false;
};

TEST(LogSink, TakesEveryMessageAndNothingReachesTheFile) {
  TempDir dir;
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
  EXPECT_EQ(StripLogPrefixes(ReadFileBytes(file)), "after\n");
  SetLogFilePathForTesting(previousPath);
}

TEST(PlannedLogFilePath, WhereTheLogWouldGoWithoutMakingIt) {
  TempDir dir;
  {
    AppDataFor appdata(dir.path().c_str());
    EXPECT_EQ(PlannedLogFilePath(), dir.path() + "\\harnfold\\log\\display.log");
    EXPECT_EQ(GetFileAttributesA(dir.File("harnfold").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the folder was made";
  }
  {
    AppDataFor appdata(nullptr);
    EXPECT_EQ(PlannedLogFilePath(), GetExecutableDirectory() + "\\display.log");
  }
  const std::string tooLong(300, 'a');
  AppDataFor appdata(("C:\\" + tooLong).c_str());
  EXPECT_EQ(PlannedLogFilePath(), GetExecutableDirectory() + "\\display.log");
}

}  // namespace
