#include "support/temp_dir.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

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

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

namespace {

bool IsDots(const std::string& name) { return name == "." || name == ".."; }
bool IsDots(const std::wstring& name) { return name == L"." || name == L".."; }

}  // namespace

std::vector<std::string> FindNames(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!IsDots(entry.cFileName)) names.push_back(entry.cFileName);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

std::vector<std::wstring> FindNames(const std::wstring& pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!IsDots(entry.cFileName)) names.push_back(entry.cFileName);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return names;
}

}  // namespace dptest
