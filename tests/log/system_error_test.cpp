#include "log/system_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "support/log_capture.h"
#include "support/text.h"

namespace {

TEST(SystemErrorLine, KeepsTheTextAndFitsTheLineBuffer) {
  // The system's own line break stays, and the format adds its own.
  EXPECT_EQ(FormatSystemErrorLine(5, L"Access denied.\r\n"), "Error 5: Access denied.\r\n\n");
  const std::string longLine = FormatSystemErrorLine(87, std::wstring(1000, L'x').c_str());
  EXPECT_EQ(longLine.size(), 511u);
  EXPECT_EQ(longLine.substr(0, 9), "Error 87:");
  EXPECT_EQ(longLine.back(), '\n');
}

struct SystemErrorRow {
  const char* name;
  long code;
  const char* insert;  // what the system's text must hold, so that the row means something
};

const SystemErrorRow kSystemErrors[] = {
    {"PlainText", ERROR_INVALID_PARAMETER, ""},
    // No arguments go with the request: the insert stays "%1" instead of the
    // text being refused (or arguments that do not exist being read).
    {"TextWithAnInsert", ERROR_BAD_EXE_FORMAT, "%1"},
    // The customer bit set: the system has no text, and no line is logged.
    {"NoSystemText", 0x2000BEEF, nullptr},
};

class LogSystemError : public ::testing::TestWithParam<SystemErrorRow> {};

TEST_P(LogSystemError, TheSystemTextAsWrittenOrNoLine) {
  const SystemErrorRow& c = GetParam();
  const std::string text = dptest::SystemText(c.code);
  ASSERT_EQ(text.empty(), c.insert == nullptr) << text;
  if (c.insert != nullptr) {
    ASSERT_THAT(text, ::testing::HasSubstr(c.insert));
  }
  dptest::LogCapture log;
  ::LogSystemError(c.code);
  EXPECT_EQ(log.Messages(),
            text.empty() ? "" : "Error " + std::to_string(c.code) + ": " + text + "\n");
}

INSTANTIATE_TEST_SUITE_P(Codes, LogSystemError, ::testing::ValuesIn(kSystemErrors),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
