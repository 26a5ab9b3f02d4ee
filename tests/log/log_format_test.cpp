#include "log/log_format.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
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
  struct Case {
    std::string got;
    std::string want;
  } cases[] = {
      {Format("plain text\n"), "plain text\n"},
      {Format("%d|%u|%ld|%lu", -5, 7u, -123456L, 4000000000UL), "-5|7|-123456|4000000000"},
      {Format("[%zu] %d", static_cast<std::size_t>(3), 42), "[3] 42"},
      {Format("%ws|%d", L"wide", 5), "wide|5"},
      {Format("%ls then %s then %d", L"one", "two", 3), "one then two then 3"},
      {Format("%S|%d", L"msvc", 9), "msvc|9"},
      {Format("%ws", L"a\u4E2Db"), "a?b"},
      {Format("%ws", static_cast<const wchar_t*>(nullptr)), "(null)"},
      {Format("%s", static_cast<const char*>(nullptr)), "(null)"},
      {Format("%5s|%-5s|%.2s", "ab", "cd", "efgh"), "   ab|cd   |ef"},
      {Format("%6ws|%-4ls|%.3ws", L"ab", L"c", L"defgh"), "    ab|c   |def"},
      {Format("%02d/%03d %x %X %o", 5, 7, 255, 255, 8), "05/007 ff FF 10"},
      {Format("100%% done"), "100% done"},
      {Format("%*d|%-*d|", 4, 1, 3, 2), "   1|2  |"},
      {Format("%c%lc%C", 'a', L'b', L'c'), "abc"},
      {Format("%I64d %lld %hd", 5000000000LL, -1LL, 70000), "5000000000 -1 4464"},
      {Format("%.1f", 2.25), "2.2"},
      {Format("%p", reinterpret_cast<void*>(0x1234)), "0000000000001234"},
      {Format("unknown %y stays"), "unknown %y stays"},
      {Format("dangling %"), "dangling %"},
      {Format(""), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
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
