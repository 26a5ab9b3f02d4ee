#include "common/exe_dir.h"

#include <windows.h>

#include "common/code_page.h"

std::string GetExecutableDirectory() {
  char buffer[MAX_PATH] = {};
  const DWORD result = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return DirectoryFromModuleName(buffer, result, MAX_PATH, AnsiEncoding());
}

std::wstring GetExecutableDirectoryW() {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD result = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return DirectoryFromModuleName(buffer, result, MAX_PATH);
}
