#include "app/provision.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

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

TEST(ModuleDirectoryInPlace, CutNameWithoutTerminatorStaysInsideTheBuffer) {
  // A cut module name fills the buffer with no zero byte. Right after the
  // buffer lies text that a search for the terminator would run into.
  struct {
    char buffer[12];
    char after[12];
  } memory;
  std::memcpy(memory.buffer, "C:\\dir\\cut.e", 12);
  std::memcpy(memory.after, "\\beyond.exe", 12);
  EXPECT_EQ(ModuleDirectoryInPlace(memory.buffer, sizeof memory.buffer), "C:\\dir");
}

}  // namespace
