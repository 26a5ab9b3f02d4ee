// The contract table on the simulated stack: every row, on every built-in
// machine it applies to, in every context a run can be in.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "contract_table.h"
#include "support/sim_support.h"

namespace {

// The contexts (DPSIM_ACCOUNT) and the code with which one refuses every
// display call before answering it; 0 where the calls are answered (session
// 0 answers them all, about a machine without any display).
struct Context {
  const char* account;
  LONG refusal;
};
constexpr Context kContexts[] = {{"system", ERROR_SUCCESS},
                                 {"user", ERROR_SUCCESS},
                                 {"system-session0", ERROR_SUCCESS},
                                 {"remote", ERROR_ACCESS_DENIED}};

class ContractTable : public dptest::SimStateTest {
 protected:
  void TearDown() override {
    SetEnvironmentVariableA("DPSIM_ACCOUNT", nullptr);
    SimStateTest::TearDown();
  }
};

TEST_F(ContractTable, TheSimulatedStackAnswersEveryRowAsWindows) {
  std::map<std::string, int> ran;
  for (const std::string& name : sim::BuiltInMachineNames()) {
    for (const Context& context : kContexts) {
      SCOPED_TRACE(name + ", DPSIM_ACCOUNT=" + context.account);
      ASSERT_TRUE(SetEnvironmentVariableA("DPSIM_ACCOUNT", context.account));
      const sim::Machine machine = dptest::BuiltIn(name.c_str());
      Use(machine);
      const contract::Seen seen = contract::LookAtTheMachine();
      if (context.refusal != ERROR_SUCCESS) {
        EXPECT_EQ(seen.sizes, context.refusal);
        continue;
      }
      ASSERT_EQ(seen.sizes, ERROR_SUCCESS);
      for (const contract::Row& row : contract::Table()) {
        if (!contract::Applies(row, seen)) continue;
        const bool validates = row.effect == contract::Effect::kValidates;
        const std::string before = validates ? Picture() : "";
        EXPECT_EQ(row.check(seen), "") << contract::Describe(row);
        if (validates) {
          EXPECT_EQ(Picture(), before) << row.id << " validates, yet changed the desktop";
        }
        if (row.effect == contract::Effect::kApplies) Use(machine);
        ++ran[row.id];
      }
    }
  }
  for (const contract::Row& row : contract::Table()) {
    EXPECT_GT(ran[row.id], 0) << row.id << " applied to no built-in machine";
  }
}

}  // namespace
