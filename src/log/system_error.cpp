#include "log/system_error.h"

#include <windows.h>

#include "common/code_page.h"
#include "log/log.h"

namespace {

constexpr std::size_t kErrorLineBufferSize = 512;

}  // namespace

void LogSystemError(long errorCode) {
  wchar_t* text = nullptr;
  const DWORD length =
      // No arguments are passed: a text with inserts ("%1") keeps them as written.
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                         FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(errorCode),
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
                     0, nullptr);
  if (length == 0 || text == nullptr) {
    if (text != nullptr) LocalFree(text);
    return;
  }
  const std::string line = FormatSystemErrorLine(errorCode, text);
  LocalFree(text);
  LogMessage("%s", line.c_str());
}

std::string FormatSystemErrorLine(long errorCode, const wchar_t* systemText) {
  std::string line = FormatLogString("Error %ld: %ws\n", errorCode, systemText);
  // The line must fit a 512-byte buffer with its terminator. A longer system
  // text is cut between two characters, and the cut line still ends the log
  // line it started.
  if (line.size() > kErrorLineBufferSize - 1) {
    line.resize(WholeCharacterLength(line, kErrorLineBufferSize - 2, AnsiEncoding()));
    line += '\n';
  }
  return line;
}
