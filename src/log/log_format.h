// Message and prefix formatting for the log. No Windows header: this unit is
// pure text work and also builds natively for fuzzing.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

#include "common/narrow_text.h"

// Converts a wide string argument (%ws, %ls) to narrow text. The program
// hands in a converter to the ANSI code page; tests may hand in their own.
using WideToNarrowFn = std::string (*)(const wchar_t* text, std::size_t length);

// Room for a message, terminator included; longer output is cut to one less.
inline constexpr std::size_t kLogMessageBufferSize = 2048;

// The integer sizes a directive can ask for: none, l, z (%zu only).
enum class LogIntSize { kInt, kLong, kSize };

// Where the formatter takes its arguments from, one per directive, in order:
// the caller's va_list, or (for fuzzing) any other source.
struct LogArguments {
  void* context = nullptr;
  long long (*nextSigned)(void* context, LogIntSize size) = nullptr;
  unsigned long long (*nextUnsigned)(void* context, LogIntSize size) = nullptr;
  const char* (*nextNarrow)(void* context) = nullptr;
  const wchar_t* (*nextWide)(void* context) = nullptr;
};

// printf-style formatting of exactly the directives the program's messages
// use: %s, %d, %u, %ld, %lu, %zu, %ws and %ls (wide text in a narrow format,
// as the Microsoft runtime reads %ws), and %%. No flags, width or precision:
// anything else is copied as written and takes no argument, so the arguments
// after it still meet the right directives. Wide strings go through
// `toNarrow`, never the C runtime, so both compilers give the same bytes. The
// result stops at the first NUL the formatting produced and holds at most
// 2047 bytes, cut between two characters of `encoding`.
std::string FormatLogText(const char* format, const LogArguments& args, WideToNarrowFn toNarrow,
                          const NarrowEncoding& encoding = {});
std::string FormatLogText(const char* format, std::va_list args, WideToNarrowFn toNarrow,
                          const NarrowEncoding& encoding = {});

// "[MM/DD-hh:mm:ss.mmm]: " from local-time fields.
std::string FormatLogPrefix(int month, int day, int hour, int minute, int second, int milliseconds);
