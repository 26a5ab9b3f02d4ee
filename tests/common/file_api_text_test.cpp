#include "common/file_api_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {

// The file APIs' code page for the life of one test, then back to ANSI.
class FileApisOem {
 public:
  FileApisOem() { SetFileApisToOEM(); }
  ~FileApisOem() { SetFileApisToANSI(); }
  FileApisOem(const FileApisOem&) = delete;
  FileApisOem& operator=(const FileApisOem&) = delete;
};

TEST(FileApiText, NarrowPathsInTheAnsiCodePage) {
  ASSERT_EQ(GetACP(), 1252u) << "these bytes assume the Western code page";
  const struct {
    std::string narrow;
    std::wstring wide;
  } cases[] = {
      {"", L""},
      {"C:\\Users\\a\\AppData\\Roaming", L"C:\\Users\\a\\AppData\\Roaming"},
      {"C:\\caf\xE9\\\x80", L"C:\\caf\u00E9\\\u20AC"},
      // The Windows calls stop at a NUL, and so does the wide path.
      {std::string("C:\\a\0b", 6), L"C:\\a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FileApiWide(c.narrow), c.wide) << c.narrow;
    EXPECT_EQ(FileApiNarrow(c.wide), c.narrow.substr(0, c.narrow.find('\0')));
  }
  // Outside the code page: its default character, one for one.
  EXPECT_EQ(FileApiNarrow(L"x\u4E2D\u6587y"), "x??y");
}

TEST(FileApiText, FollowsTheFileApisToTheOemCodePage) {
  ASSERT_EQ(GetOEMCP(), 437u) << "these bytes assume the US OEM code page";
  // 0x82 is é in code page 437 and a low quotation mark in 1252.
  EXPECT_EQ(FileApiWide("\x82"), L"\u201A");
  const FileApisOem oem;
  EXPECT_EQ(FileApiWide("caf\x82"), L"caf\u00E9");
  EXPECT_EQ(FileApiNarrow(L"caf\u00E9"), "caf\x82");
}

}  // namespace
