#include "common/exe_dir.h"

#include <windows.h>

namespace {

template <typename Char>
std::basic_string<Char> DirectoryOf(const Char* buffer, std::uint32_t result,
                                    std::uint32_t capacity) {
  // 0 is failure; a result of the full capacity means the name was cut and
  // the buffer may hold no terminator.
  if (buffer == nullptr || result == 0 || result >= capacity) return {};
  for (std::uint32_t i = result; i > 0; --i) {
    const Char c = buffer[i - 1];
    if (c == Char('\\') || c == Char('/')) return std::basic_string<Char>(buffer, i - 1);
  }
  return {};
}

}  // namespace

std::string DirectoryFromModuleName(const char* buffer, std::uint32_t result,
                                    std::uint32_t capacity) {
  return DirectoryOf(buffer, result, capacity);
}

std::wstring DirectoryFromModuleName(const wchar_t* buffer, std::uint32_t result,
                                     std::uint32_t capacity) {
  return DirectoryOf(buffer, result, capacity);
}

std::string GetExecutableDirectory() {
  char buffer[MAX_PATH] = {};
  const DWORD result = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return DirectoryFromModuleName(buffer, result, MAX_PATH);
}

std::wstring GetExecutableDirectoryW() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD result = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return DirectoryFromModuleName(buffer, result, MAX_PATH);
}
