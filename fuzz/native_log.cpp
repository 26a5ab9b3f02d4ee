#include "native_log.h"

#include <cstdarg>

#include "log/log.h"

namespace {
std::string& Logged() {
  static std::string text;
  return text;
}
}  // namespace

std::string NarrowForFuzzing(const wchar_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i)
    out += (text[i] > 0 && text[i] < 0x80) ? static_cast<char>(text[i]) : '?';
  return out;
}

std::string TakeLoggedText() {
  std::string text;
  text.swap(Logged());
  return text;
}

void LogMessage(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  Logged() += FormatLogText(format, args, &NarrowForFuzzing);
  va_end(args);
}

std::string FormatLogString(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatLogText(format, args, &NarrowForFuzzing);
  va_end(args);
  return text;
}
