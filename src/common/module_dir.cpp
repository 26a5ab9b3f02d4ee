#include "common/module_dir.h"

#include <algorithm>
#include <string_view>

std::string DirectoryFromModuleName(const char* buffer, std::uint32_t result,
                                    std::uint32_t capacity, const NarrowEncoding& encoding) {
  // 0 is failure; a result of the full capacity means the name was cut and
  // the buffer may hold no terminator.
  if (buffer == nullptr || result == 0 || result >= capacity) return {};
  const std::string_view name(buffer, result);
  const std::size_t separator = LastPathSeparator(name, encoding);
  return separator == std::string_view::npos ? std::string() : std::string(buffer, separator);
}

std::wstring DirectoryFromModuleName(const wchar_t* buffer, std::uint32_t result,
                                     std::uint32_t capacity) {
  if (buffer == nullptr || result == 0 || result >= capacity) return {};
  const std::wstring_view name(buffer, result);
  const std::size_t separator = name.find_last_of(L"\\/");
  return separator == std::wstring_view::npos ? std::wstring() : std::wstring(buffer, separator);
}

std::string StartingDirectory(const std::string& directory) {
  const bool bareDrive = directory.size() == 2 && directory[1] == ':' &&
                         ((directory[0] >= 'A' && directory[0] <= 'Z') ||
                          (directory[0] >= 'a' && directory[0] <= 'z'));
  return bareDrive ? directory + '\\' : directory;
}

std::string ModuleDirectoryInPlace(const char* buffer, std::size_t capacity,
                                   const NarrowEncoding& encoding) {
  // A cut module name may fill the buffer with no terminator: never look
  // further than the buffer itself.
  const char* end = std::find(buffer, buffer + capacity, '\0');
  std::string path(buffer, end);
  const std::size_t separator = LastPathSeparator(path, encoding);
  if (separator != std::string::npos) path.resize(separator);
  return path;
}
