// Reading the display configuration (ReadDisplayConfig) as its callers read
// it. A query answering ERROR_INSUFFICIENT_BUFFER met a configuration that
// grew after the sizes were asked for: the read sizes and queries again, up
// to three queries in all. Any other answer, and a third 122, end it as
// before. One table, with a row per caller.
#include "display/config_query.h"

#include <gtest/gtest.h>

#include "display/enumerate.h"
#include "display/topology.h"
#include "support/sim_fixture.h"

namespace {

struct Caller {
  const char* name;
  bool (*read)();       // reads through ReadDisplayConfig; whether it succeeded
  std::string success;  // what it logs when the read succeeded
  std::size_t setCalls;
};

bool ListTwo() {
  std::vector<DisplayInfo> displays;
  int active = 42;
  const bool listed = EnumerateDisplays(displays, active);
  // A failed listing appends nothing and leaves the count alone.
  EXPECT_EQ(active, listed ? 2 : 42);
  std::wstring names;
  for (const DisplayInfo& d : displays) names += d.monitorName + L" ";
  EXPECT_EQ(names, listed ? L"A B " : L"");
  return listed;
}

bool MakeTheSecondPrimary() { return SetPrimaryDisplay(1); }

const Caller kCallers[] = {
    {"EnumerateDisplays", ListTwo, "", 0},
    {"SetPrimaryDisplay", MakeTheSecondPrimary, "Primary display successfully set to index: 1\n",
     1},
};

class ConfigQueryTest : public dptest::SimTest, public ::testing::WithParamInterface<Caller> {};

TEST_P(ConfigQueryTest, QueryThatMeetsAChangeIsAskedAgain) {
  const Caller& caller = GetParam();
  constexpr LONG k122 = ERROR_INSUFFICIENT_BUFFER;
  constexpr sim::Api kSizes = sim::Api::GetDisplayConfigBufferSizes;
  constexpr sim::Api kQuery = sim::Api::QueryDisplayConfig;
  const std::string failedQuery = "Failed to query display config.\n";
  using Faults = std::vector<sim::Fault>;
  struct Case {
    const char* name;
    Faults faults;
    std::string failure;  // empty: the read succeeds
    uint32_t sizesCalls, queryCalls;
  };
  const Case cases[] = {
      {"122 once", Faults{{kQuery, 1, k122}}, "", 2, 2},
      {"122 twice", Faults{{kQuery, 1, k122}, {kQuery, 2, k122}}, "", 3, 3},
      {"122 three times", Faults{{kQuery, 1, k122}, {kQuery, 2, k122}, {kQuery, 3, k122}},
       failedQuery, 3, 3},
      {"another error is not retried", Faults{{kQuery, 1, ERROR_INVALID_PARAMETER}}, failedQuery, 1,
       1},
      {"122, then another error", Faults{{kQuery, 1, k122}, {kQuery, 2, ERROR_GEN_FAILURE}},
       failedQuery, 2, 2},
      {"122, then the sizes fail", Faults{{kQuery, 1, k122}, {kSizes, 2, ERROR_ACCESS_DENIED}},
       "Failed to get display config buffer sizes.\n", 2, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dptest::LogCapture log;
    sim::Machine m = dptest::SideBySide({{"A"}, {"B"}});
    m.faults = c.faults;
    Use(m);
    EXPECT_EQ(caller.read(), c.failure.empty());
    EXPECT_EQ(log.Messages(), c.failure.empty() ? caller.success : c.failure);
    const sim::Machine after = Now();
    EXPECT_EQ(after.CallCount(kSizes), c.sizesCalls);
    EXPECT_EQ(after.CallCount(kQuery), c.queryCalls);
    EXPECT_EQ(after.setCalls.size(), c.failure.empty() ? caller.setCalls : 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Callers, ConfigQueryTest, ::testing::ValuesIn(kCallers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
