#include "provision/ansi_text.h"

#include <windows.h>

namespace {

UINT FileApiCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

}  // namespace

std::wstring FileApiWide(const std::string& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = MultiByteToWideChar(FileApiCodePage(), 0, text.data(), length, nullptr, 0);
  if (size <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(FileApiCodePage(), 0, text.data(), length, wide.data(), size);
  return wide;
}

std::string FileApiNarrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size =
      WideCharToMultiByte(FileApiCodePage(), 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(FileApiCodePage(), 0, text.data(), length, narrow.data(), size, nullptr,
                      nullptr);
  return narrow;
}
