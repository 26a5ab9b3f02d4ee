// The agent's log: the product's timestamp, CR LF line ends, and at most two
// files however much is logged.
#include "agent/agent_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

TEST(AgentLogTest, StampsEachLineAndKeepsOneOlderFile) {
  dptest::TempDir dir;
  const std::wstring folder = dir.wpath() + L"\\displayprep";
  AgentLog log(folder, 200);
  log.Write("service started");
  const std::string first = dptest::ReadFileBytes(dir.File("displayprep\\agent.log"));
  EXPECT_TRUE(std::regex_match(
      first, std::regex(std::string(dptest::kLogPrefixPattern) + "service started\r\n")))
      << first;
  for (int i = 0; i < 20; ++i) log.Write("line " + std::to_string(i));

  EXPECT_THAT(dptest::FindNames(dir.File("displayprep\\*")),
              ::testing::UnorderedElementsAre("agent.log", "agent.log.1"));
  const std::string newest = dptest::ReadFileBytes(dir.File("displayprep\\agent.log"));
  const std::string older = dptest::ReadFileBytes(dir.File("displayprep\\agent.log.1"));
  EXPECT_LE(newest.size(), 200u);
  EXPECT_LE(older.size(), 200u);
  EXPECT_THAT(newest, ::testing::EndsWith("line 19\r\n"));
  EXPECT_THAT(dptest::StripLogPrefixes(older + newest), ::testing::EndsWith("line 18\nline 19\n"));
}

}  // namespace
