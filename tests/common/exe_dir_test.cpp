#include "common/exe_dir.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

namespace {

TEST(ExecutableDirectory, RuleOverWhatTheModuleNameCallLeft) {
  struct Case {
    std::string buffer;
    std::uint32_t result;
    std::uint32_t capacity;
    std::string want;
  } cases[] = {
      {"C:\\tools\\displayprep.exe", 24, 260, "C:\\tools"},
      {"C:\\program.exe", 14, 260, "C:"},
      {"C:/tools/x.exe", 14, 260, "C:/tools"},
      {"C:\\a/b\\c.exe", 12, 260, "C:\\a/b"},
      {"program.exe", 11, 260, ""},
      {"", 0, 260, ""},
      // Only the first `result` characters count.
      {"C:\\a\\b.exe", 4, 260, "C:"},
      // Cut: the count equals the buffer size and nothing is trusted.
      {"C:\\" + std::string(257, 'x'), 260, 260, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.buffer);
    EXPECT_EQ(DirectoryFromModuleName(c.buffer.c_str(), c.result, c.capacity), c.want);
    const std::wstring wide(c.buffer.begin(), c.buffer.end());
    const std::wstring want(c.want.begin(), c.want.end());
    EXPECT_EQ(DirectoryFromModuleName(wide.c_str(), c.result, c.capacity), want);
  }
}

TEST(ExecutableDirectory, CutBufferWithoutTerminatorIsNeverReadPast) {
  // Exactly `capacity` characters and no terminator after them: a reader that
  // looked for a NUL would run off the end of the array.
  char buffer[8];
  std::memcpy(buffer, "C:\\abcde", 8);
  EXPECT_EQ(DirectoryFromModuleName(buffer, 8, 8), "");
  EXPECT_EQ(DirectoryFromModuleName(buffer, 7, 8), "C:");
}

TEST(ExecutableDirectory, MatchesTheRunningProgram) {
  char module[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
  const std::string dir = GetExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(std::string(module).rfind(dir + "\\", 0), 0u) << module;
  EXPECT_NE(dir.back(), '\\');
  EXPECT_EQ(std::string(module).find('\\', dir.size() + 1), std::string::npos);

  const std::wstring wdir = GetExecutableDirectoryW();
  EXPECT_EQ(std::wstring(dir.begin(), dir.end()), wdir);  // ASCII build path
}

}  // namespace
