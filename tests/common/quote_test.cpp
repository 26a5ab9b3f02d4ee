// How a path is quoted for a command line.
#include "common/quote.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(QuoteIfContainsSpace, OnlyASpaceQuotesAndNothingIsEscaped) {
  const struct {
    std::string text, want;
  } cases[] = {
      {"", ""},
      {"C:\\Tools\\wkex.exe", "C:\\Tools\\wkex.exe"},
      {"C:\\My Tools\\wkex.exe", "\"C:\\My Tools\\wkex.exe\""},
      {" ", "\" \""},
      {"a\tb", "a\tb"},
      {"a\"b c", "\"a\"b c\""},
      {"C:\\my dir\\", "\"C:\\my dir\\\""},
      {"\"already quoted\"", "\"\"already quoted\"\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QuoteIfContainsSpace(c.text), c.want) << c.text;
    const std::wstring wide(c.text.begin(), c.text.end());
    EXPECT_EQ(QuoteIfContainsSpace(wide), std::wstring(c.want.begin(), c.want.end()));
  }
}

}  // namespace
