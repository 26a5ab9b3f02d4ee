// Several processes share one simulated machine; dpsim.exe drives it from the
// command line.
#include <gmock/gmock.h>

#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/exe_dir.h"
#include "run_program.h"
#include "support/sim_support.h"

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;

using dptest::BuiltIn;

class ProcessTest : public dptest::SimStateTest {
 protected:
  // dpsim.exe with these arguments on this test's machine, named by --state
  // or by the environment.
  RunResult Dpsim(std::vector<std::wstring> args, bool stateInEnvironment = false) {
    RunOptions o;
    o.program = GetExecutableDirectoryW() + L"\\dpsim.exe";
    if (stateInEnvironment) o.environment[L"DPSIM_STATE"] = StateFile();
    if (!stateInEnvironment) args.insert(args.begin(), {L"--state", StateFile()});
    o.arguments = std::move(args);
    return RunProgram(o);
  }
  // dpsim.exe run as above, which must end with `exitCode`; what it wrote.
  std::string Run(std::vector<std::wstring> args, DWORD exitCode = 0) {
    const RunResult r = Dpsim(std::move(args));
    EXPECT_EQ(r.exitCode, exitCode) << r.output;
    return r.output;
  }
};

TEST_F(ProcessTest, ConcurrentProcessesNeverLoseAnUpdateNorSeeHalfAFile) {
  Use(BuiltIn("two-clone"));
  constexpr int kQueriers = 4, kRepeats = 25, kScripters = 3;
  std::vector<std::vector<std::wstring>> commands(
      kQueriers, {L"query", L"all", L"--repeat", std::to_wstring(kRepeats)});
  for (int i = 0; i < kScripters; ++i)
    commands.push_back({L"event", L"after-ms", L"86400000", L"inactive", std::to_wstring(i)});
  std::vector<RunResult> results(commands.size());
  std::vector<std::thread> processes;
  for (std::size_t i = 0; i < commands.size(); ++i)
    processes.emplace_back([&, i] { results[i] = Dpsim(commands[i]); });
  // Meanwhile this process reads and writes too.
  int loads = 0;
  for (int i = 0; i < 20; ++i) {
    Now();  // a load that must succeed
    ++loads;
    EXPECT_EQ(sim::UpdateMachine([](sim::Machine& mm) {
                mm.faults.push_back({sim::Api::DisplayConfigGetDeviceInfo, 1000, 5});
                return ERROR_SUCCESS;
              }),
              ERROR_SUCCESS);
  }
  for (std::thread& p : processes) p.join();
  for (const RunResult& r : results) {
    EXPECT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u) << r.output;
  }
  const sim::Machine after = Now();
  EXPECT_EQ(after.CallCount(sim::Api::GetDisplayConfigBufferSizes), uint32_t{kQueriers * kRepeats});
  EXPECT_EQ(after.CallCount(sim::Api::QueryDisplayConfig), uint32_t{kQueriers * kRepeats});
  EXPECT_EQ(after.events.size(), size_t{kScripters});
  EXPECT_EQ(after.faults.size(), 20u);
  EXPECT_EQ(loads, 20);
}

TEST_F(ProcessTest, DpsimScriptsAndInspectsTheMachine) {
  EXPECT_THAT(Run({L"init", L"two-clone"}),
              AllOf(HasSubstr("\\\\.\\DISPLAY1 [primary]"), HasSubstr("[clone]")));
  sim::Machine m = Now();
  EXPECT_EQ(m.paths.size(), 2u);
  EXPECT_GT(m.createdAtMs, 0u);

  Run({L"fault", L"SetDisplayConfig", L"2", L"ERROR_ACCESS_DENIED"});
  Run({L"fault", L"QueryDisplayConfig", L"every", L"0x1F"});
  Run({L"event", L"after-call", L"SetDisplayConfig", L"1", L"appear", L"8192", L"Virtual X",
       L"1280x720@75", L"clone:0"});
  Run({L"event", L"after-ms", L"86400000", L"unplug", L"4352"});
  // "in" counts from now: the machine is already some ms old.
  const uint64_t age = sim::NowMs() - Now().createdAtMs;
  Run({L"event", L"in-ms", L"86400000", L"inactive", L"4353"});
  ASSERT_FALSE(HasFailure());

  m = Now();
  ASSERT_EQ(m.faults.size(), 2u);
  using Fault = std::tuple<sim::Api, uint32_t, LONG>;
  EXPECT_EQ(Fault(m.faults[0].api, m.faults[0].atCall, m.faults[0].error),
            Fault(sim::Api::SetDisplayConfig, 2, ERROR_ACCESS_DENIED));
  EXPECT_EQ(Fault(m.faults[1].api, m.faults[1].atCall, m.faults[1].error),
            Fault(sim::Api::QueryDisplayConfig, 0, 31));
  ASSERT_EQ(m.events.size(), 3u);
  EXPECT_GE(*m.events[2].afterMs, 86400000u + age);
  EXPECT_LE(*m.events[2].afterMs, sim::NowMs() - m.createdAtMs + 86400000u);
  const sim::Event& a = m.events[0];
  EXPECT_EQ(std::tie(a.afterApi, a.afterCall, a.action, a.appearAs, a.sourceId),
            std::make_tuple(std::optional(sim::Api::SetDisplayConfig), 1u, sim::EventAction::Appear,
                            sim::AppearAs::Clone, std::optional(0u)));
  EXPECT_EQ(
      std::tie(a.target.id, a.target.name, a.target.preferred.width, a.target.preferred.refreshHz),
      std::make_tuple(8192u, "Virtual X", 1280u, 75u));
  const sim::Event& unplug = m.events[1];
  EXPECT_EQ(std::tie(unplug.afterMs, unplug.action, unplug.targetId),
            std::make_tuple(std::optional<uint64_t>(86400000), sim::EventAction::Unplug, 4352u));

  Run({L"extend"});
  EXPECT_THAT(Run({L"extend"}, 1), HasSubstr("-> 5"));
  EXPECT_THAT(Run({L"query"}, 1), HasSubstr("failed with 31"));

  EXPECT_THAT(Run({L"calls"}),
              AllOf(HasSubstr("SetDisplayConfig call 1: flags 0x84, 0 paths, 0 modes -> 0"),
                    HasSubstr("SetDisplayConfig call 2: flags 0x84, 0 paths, 0 modes -> 5"),
                    HasSubstr("QueryDisplayConfig=1")));
  EXPECT_THAT(Run({L"show"}), AllOf(HasSubstr("Virtual X"), HasSubstr("[fired]"),
                                    HasSubstr("Fault: SetDisplayConfig call 2 fails with 5")));
  Run({L"fault", L"clear"});
  EXPECT_TRUE(Now().faults.empty());
}

TEST_F(ProcessTest, DpsimRefusesBadCommandsAndKeepsTheState) {
  Use(BuiltIn("one-display"));
  const std::string before = sim::MachineToJson(Now());
  struct Case {
    std::vector<std::wstring> args;
    DWORD exitCode;
    const char* says;
  };
  const Case cases[] = {
      {{}, 2, "usage: dpsim"},
      {{L"bogus"}, 2, "unknown command"},
      {{L"fault", L"SetDisplayConfig", L"0", L"5"}, 2, "calls count from 1"},
      {{L"fault", L"SetDisplayConfig", L"2"}, 2, "fault takes"},
      {{L"fault", L"Nope", L"2", L"5"}, 2, "unknown function"},
      {{L"fault", L"SetDisplayConfig", L"2", L"ERROR_WHATEVER"}, 2, "must be a number"},
      {{L"event", L"after-call", L"SetDisplayConfig", L"x", L"unplug", L"1"},
       2,
       "must be a number"},
      {{L"event", L"soon", L"unplug", L"1"}, 2, "after-call, after-ms or in-ms"},
      {{L"event", L"after-ms", L"5", L"appear", L"1", L"Name", L"wide"}, 2, "a mode looks like"},
      {{L"event", L"after-ms", L"5", L"appear", L"1", L"Name", L"0x0"}, 2, "above 0"},
      {{L"event", L"after-ms", L"5", L"unplug", L"1", L"2"}, 2, "unexpected"},
      {{L"init", L"no-such-machine"}, 1, "neither a built-in machine nor a readable file"},
      {{L"show", L"extra"}, 2, "takes no arguments"},
  };
  for (const Case& c : cases) EXPECT_THAT(Run(c.args, c.exitCode), HasSubstr(c.says));
  EXPECT_EQ(sim::MachineToJson(Now()), before);
}

TEST_F(ProcessTest, DpsimStartsAMachineFromAFileAndFindsTheStateThroughTheEnvironment) {
  sim::Machine m = BuiltIn("three-displays");
  m.targets[2].name = "Hand Made";
  m.createdAtMs = 0;  // init stamps it
  const std::wstring file = dir_.wpath() + L"\\machine.json";
  ASSERT_TRUE(dptest::WriteFileBytes(file, sim::MachineToJson(m)));

  const RunResult o = Dpsim({L"init", file}, true);
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  EXPECT_THAT(o.output, HasSubstr("Hand Made"));
  const sim::Machine loaded = Now();
  EXPECT_EQ(loaded.targets[2].name, "Hand Made");
  EXPECT_GT(loaded.createdAtMs, 0u);

  const std::wstring broken = dir_.wpath() + L"\\broken.json";
  ASSERT_TRUE(dptest::WriteFileBytes(broken, "{\"paths\": [{\"source\": 3, \"target\": 1}]}"));
  EXPECT_THAT(Run({L"init", broken}, 1), HasSubstr("unknown source 3"));
  EXPECT_EQ(Now().targets[2].name, "Hand Made") << "a refused file replaces nothing";
}

}  // namespace
