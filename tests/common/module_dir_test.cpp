#include "common/module_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/narrow_encodings.h"

namespace {

using dptest::kHyo;
using dptest::ShiftJis;
using dptest::Utf8;

// The directory, and where the helper and the companion start: a program in
// a drive's root gets the bare drive ("C:"), which names that drive's
// current directory, so they are handed its root.
TEST(ExecutableDirectory, RuleOverWhatTheModuleNameCallLeft) {
  struct Case {
    std::string buffer;
    std::uint32_t result;
    std::uint32_t capacity;
    std::string want;
    std::string startIn;
  } cases[] = {
      {"C:\\tools\\displayprep.exe", 24, 260, "C:\\tools", "C:\\tools"},
      {"C:\\program.exe", 14, 260, "C:", "C:\\"},
      // As a start by a lower-case path gives it.
      {"c:\\program.exe", 14, 260, "c:", "c:\\"},
      {"C:/tools/x.exe", 14, 260, "C:/tools", "C:/tools"},
      {"C:\\a/b\\c.exe", 12, 260, "C:\\a/b", "C:\\a/b"},
      {"program.exe", 11, 260, "", ""},
      {"", 0, 260, "", ""},
      // Only the first `result` characters count.
      {"C:\\a\\b.exe", 4, 260, "C:", "C:\\"},
      // Cut: the count equals the buffer size and nothing is trusted.
      {"C:\\" + std::string(257, 'x'), 260, 260, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.buffer);
    EXPECT_EQ(DirectoryFromModuleName(c.buffer.c_str(), c.result, c.capacity), c.want);
    EXPECT_EQ(StartingDirectory(c.want), c.startIn);
    const std::wstring wide(c.buffer.begin(), c.buffer.end());
    const std::wstring want(c.want.begin(), c.want.end());
    EXPECT_EQ(DirectoryFromModuleName(wide.c_str(), c.result, c.capacity), want);
  }
}

TEST(ExecutableDirectory, DoubleByteCharactersAreNotSeparators) {
  const struct {
    std::string name, want;
  } cases[] = {
      {"C:\\tools\\" + kHyo + ".exe", "C:\\tools"},
      {"C:\\" + kHyo + "\\a.exe", "C:\\" + kHyo},
      {"C:\\" + kHyo + kHyo + ".exe", "C:"},
      {kHyo + ".exe", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto n = static_cast<std::uint32_t>(c.name.size());
    EXPECT_EQ(DirectoryFromModuleName(c.name.c_str(), n, 260, ShiftJis()), c.want);
    char buffer[260] = {};
    std::memcpy(buffer, c.name.data(), c.name.size());
    const std::string inPlace = c.want.empty() ? c.name : c.want;
    EXPECT_EQ(ModuleDirectoryInPlace(buffer, sizeof buffer, ShiftJis()), inPlace);
  }
  // In UTF-8 and single-byte code pages every backslash byte is one.
  const std::string utf8 = "C:\\\xE8\xA1\xA8\\a.exe";
  EXPECT_EQ(
      DirectoryFromModuleName(utf8.c_str(), static_cast<std::uint32_t>(utf8.size()), 260, Utf8()),
      "C:\\\xE8\xA1\xA8");
}

TEST(ModuleDirectoryInPlace, FirstZeroByteThenLastSeparator) {
  const struct {
    std::string buffer;  // padded with zero bytes to the buffer's size
    std::string want;
  } cases[] = {
      {"C:\\Tools\\displayprep.exe", "C:\\Tools"},
      {"C:\\program.exe", "C:"},
      {"C:/a\\b/c.exe", "C:/a\\b"},
      // Without a separator the whole module path stays, empty after a failure.
      {"program.exe", "program.exe"},
      {"", ""},
      // Only the text up to the first zero byte counts.
      {std::string("C:\\a.exe\0D:\\b\\c.exe", 19), "C:"},
  };
  for (const auto& c : cases) {
    char buffer[260] = {};
    std::memcpy(buffer, c.buffer.data(), c.buffer.size());
    EXPECT_EQ(ModuleDirectoryInPlace(buffer, sizeof buffer), c.want) << c.buffer;
  }
}

// Both rules over a buffer that holds no terminator, with text right behind
// it that a search for a terminator (or a reader of the whole array) would
// run into and take a separator from.
TEST(ModuleDirectory, BufferWithoutTerminatorIsNeverReadPast) {
  struct {
    char buffer[12];
    char after[12];
  } memory;
  std::memcpy(memory.buffer, "C:\\dir\\cut.e", 12);
  std::memcpy(memory.after, "\\beyond.exe", 12);
  EXPECT_EQ(ModuleDirectoryInPlace(memory.buffer, sizeof memory.buffer), "C:\\dir");
  // The helpers' rule reads only `result` characters: 11 of 12.
  EXPECT_EQ(DirectoryFromModuleName(memory.buffer, 11, 12), "C:\\dir");
  EXPECT_EQ(DirectoryFromModuleName(memory.buffer, 12, 12), "") << "cut: nothing trusted";
}

}  // namespace
