#include "support/temp_dir.h"

#include <windows.h>

#include <filesystem>

namespace dptest {

TempDir::TempDir() {
  static int counter = 0;
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  for (;;) {
    path_ = std::string(base) + "dp-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    if (CreateDirectoryA(path_.c_str(), nullptr)) break;
  }
  wpath_ = std::filesystem::path(path_).wstring();
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(wpath_), ignored);
}

}  // namespace dptest
