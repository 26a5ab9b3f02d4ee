#include "log/log_format.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <string>

#include "log/log.h"

namespace {

// Stand-in converter: ASCII passes, anything else becomes '?', which is what
// the program's ANSI conversion does for characters outside the code page.
std::string AsciiOnly(const wchar_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i)
    out += (text[i] > 0 && text[i] < 0x80) ? static_cast<char>(text[i]) : '?';
  return out;
}

std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatLogText(format, args, &AsciiOnly);
  va_end(args);
  return text;
}

TEST(LogFormat, ConversionsTheProgramUses) {
  const struct {
    std::string got, want;
  } cases[] = {
      {Format("plain text\n"), "plain text\n"},
      {Format("%d|%u|%ld|%lu", -5, 7u, -123456L, 4000000000UL), "-5|7|-123456|4000000000"},
      {Format("%d|%u", INT_MIN, UINT_MAX), "-2147483648|4294967295"},
      {Format("[%zu] %d", static_cast<std::size_t>(3), 42), "[3] 42"},
      {Format("%zu", SIZE_MAX), "18446744073709551615"},
      {Format("%ws|%d", L"wide", 5), "wide|5"},
      {Format("%ls then %s then %d", L"one", "two", 3), "one then two then 3"},
      {Format("%ws", L"a\u4E2Db"), "a?b"},
      {Format("%ws", static_cast<const wchar_t*>(nullptr)), "(null)"},
      {Format("%s", static_cast<const char*>(nullptr)), "(null)"},
      {Format("100%% done"), "100% done"},
      {Format(""), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

// Directives no message uses are shown as written and take no argument, so
// the arguments after them still meet the right directives.
TEST(LogFormat, OtherDirectivesAreCopiedAsWritten) {
  const struct {
    std::string got, want;
  } cases[] = {
      {Format("%f|%d", 7), "%f|7"},
      {Format("%p %x %X %o %c|%s", "s"), "%p %x %X %o %c|s"},
      {Format("%n%d", 3), "%n3"},
      {Format("%*d|%d", 8), "%*d|8"},
      {Format("%lld %hd %I64d %S|%u", 2u), "%lld %hd %I64d %S|2"},
      {Format("%zs %wd %wu|%d", 1), "%zs %wd %wu|1"},
      // No message sets a flag, a width or a precision, nor asks for %i or %zd.
      {Format("%5s|%-5s|%.2s|%s", "ab"), "%5s|%-5s|%.2s|ab"},
      {Format("%6ws|%-4ls|%.3ws|%ws", L"ab"), "%6ws|%-4ls|%.3ws|ab"},
      {Format("%02d/%03d|%+d|% d|%-3u|%#u|%d", 5), "%02d/%03d|%+d|% d|%-3u|%#u|5"},
      {Format("%i %li %zd %lz|%lu", 9UL), "%i %li %zd %lz|9"},
      {Format("%l%|%w%|%z%|%%|%u", 1u), "%l%|%w%|%z%|%|1"},
      {Format("unknown %y stays"), "unknown %y stays"},
      {Format("dangling %"), "dangling %"},
      {Format("dangling %-5l"), "dangling %-5l"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(LogFormat, CutsAt2047Bytes) {
  const std::string longText(3000, 'x');
  const std::string text = Format("%s", longText.c_str());
  EXPECT_EQ(text.size(), 2047u);
  EXPECT_EQ(text, longText.substr(0, 2047));

  const std::wstring wideText(2100, L'w');
  EXPECT_EQ(Format("ab%ws", wideText.c_str()).size(), 2047u);
  EXPECT_EQ(Format("%s", std::string(2047, 'y').c_str()).size(), 2047u);
  EXPECT_EQ(Format("%s", std::string(2046, 'y').c_str()).size(), 2046u);
}

TEST(LogFormat, CutNeverSplitsACharacter) {
  NarrowEncoding shiftJis;
  for (int b = 0x81; b <= 0x9F; ++b) shiftJis.leadByte[b] = true;
  NarrowEncoding utf8;
  utf8.utf8 = true;
  std::va_list none{};
  // A double-byte character across the 2047th byte is left out whole; a
  // stray lead byte would swallow the next line's first character.
  const std::string dbcs = std::string(2046, 'a') + "\x95\x5C" + "tail";
  EXPECT_EQ(FormatLogText(dbcs.c_str(), none, nullptr, shiftJis), std::string(2046, 'a'));
  EXPECT_EQ(FormatLogText(dbcs.c_str(), none, nullptr), dbcs.substr(0, 2047)) << "single-byte";
  const std::string multi = std::string(2045, 'a') + "\xE8\xA1\xA8" + "tail";
  EXPECT_EQ(FormatLogText(multi.c_str(), none, nullptr, utf8), std::string(2045, 'a'));
  const std::string fits = std::string(2045, 'a') + "\x95\x5C";
  EXPECT_EQ(FormatLogText(fits.c_str(), none, nullptr, shiftJis), fits);
}

TEST(LogFormat, WideTextOutsideTheCodePageKeepsTheRestOfTheMessage) {
  EXPECT_EQ(Format("name %ws, id %d\n", L"\u65E5\u672C Monitor", 7), "name ?? Monitor, id 7\n");
}

TEST(LogFormat, PrefixIsZeroPaddedWithThreeDigitMilliseconds) {
  EXPECT_EQ(FormatLogPrefix(12, 7, 15, 22, 50, 123), "[12/07-15:22:50.123]: ");
  EXPECT_EQ(FormatLogPrefix(1, 5, 9, 3, 7, 4), "[01/05-09:03:07.004]: ");
  EXPECT_EQ(FormatLogPrefix(10, 31, 0, 0, 0, 0), "[10/31-00:00:00.000]: ");
}

TEST(LogFormat, ProgramConverterUsesTheAnsiCodePage) {
  // The program's converter: é is in the ANSI code page here (1252), CJK is not.
  ASSERT_EQ(GetACP(), 1252u) << "these bytes assume the Western code page";
  EXPECT_EQ(FormatLogString("%ws|%ls", L"caf\u00E9", L"\u4E2D1"), "caf\xE9|?1");
}

}  // namespace
