#include "common/exe_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

TEST(ExecutableDirectory, MatchesTheRunningProgram) {
  char module[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
  const std::string dir = GetExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_THAT(module, ::testing::StartsWith(dir + "\\"));
  EXPECT_NE(dir.back(), '\\');
  EXPECT_EQ(std::string(module).find('\\', dir.size() + 1), std::string::npos);

  const std::wstring wdir = GetExecutableDirectoryW();
  EXPECT_EQ(std::wstring(dir.begin(), dir.end()), wdir);  // ASCII build path
}

}  // namespace
