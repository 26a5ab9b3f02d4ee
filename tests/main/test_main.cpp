// The main of every test program. Before any test runs, the log is pointed
// at a file of this process's own, so that a test that logs without a
// LogCapture never writes the prefix's real display.log or, by working out
// the real log path, c:\dp.log.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "log/log.h"

int main(int argc, char** argv) {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  const std::string log =
      std::string(dir) + "dp-test-log-" + std::to_string(GetCurrentProcessId()) + ".log";
  SetLogFilePathForTesting(log);
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  DeleteFileA(log.c_str());
  return result;
}
