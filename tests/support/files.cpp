#include "support/files.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/text.h"

namespace fs = std::filesystem;

namespace dptest {

std::string ReadFileBytes(const std::string& path) { return ReadFileBytes(AnsiToWide(path)); }

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  return WriteFileBytes(AnsiToWide(path), bytes);
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::error_code ignored;
  fs::create_directories(fs::path(path).parent_path(), ignored);
  std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool LeaveForEdidDecode(const char* folderVariable, const std::string& name,
                        const std::string& bytes) {
  const char* folder = std::getenv(folderVariable);
  if (folder == nullptr) return true;
  const std::string dir = folder;
  if (!WriteFileBytes(dir + "\\" + name, bytes)) return false;  // the folder made too
  std::ofstream manifest(fs::path(AnsiToWide(dir + "\\manifest.txt")), std::ios::app);
  manifest << name << "\n";
  return manifest.good();
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
