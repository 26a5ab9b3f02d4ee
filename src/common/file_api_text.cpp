#include "common/file_api_text.h"

#include <windows.h>

namespace {

UINT FileApiCodePage() { return AreFileApisANSI() ? CP_ACP : CP_OEMCP; }

}  // namespace

std::wstring FileApiWide(const std::string& text) {
  // -1: through the first NUL, which the count then includes.
  const int size = MultiByteToWideChar(FileApiCodePage(), 0, text.c_str(), -1, nullptr, 0);
  if (size <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  const int written =
      MultiByteToWideChar(FileApiCodePage(), 0, text.c_str(), -1, wide.data(), size);
  wide.resize(written > 1 ? static_cast<std::size_t>(written) - 1 : 0);
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
