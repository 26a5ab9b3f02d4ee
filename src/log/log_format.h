// Message and prefix formatting for the log. No Windows header: this unit is
// pure text work and also builds natively for fuzzing.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Converts a wide string argument (%ws, %ls, %S) to narrow text. The program
// hands in a converter to the ANSI code page; tests may hand in their own.
using WideToNarrowFn = std::string (*)(const wchar_t* text, std::size_t length);

// Room for a message, terminator included; longer output is cut to one less.
inline constexpr std::size_t kLogMessageBufferSize = 2048;

// printf-style formatting in the Microsoft runtime's dialect, so that a build
// with mingw-w64 and one with MSVC give the same bytes. Wide strings never
// reach the C runtime: they go through `toNarrow`, character by character
// loss instead of a lost message. The result holds at most 2047 bytes and
// stops at the first NUL the formatting produced.
std::string FormatLogText(const char* format, std::va_list args, WideToNarrowFn toNarrow);

// "[MM/DD-hh:mm:ss.mmm]: " from local-time fields.
std::string FormatLogPrefix(int month, int day, int hour, int minute, int second, int milliseconds);
