// Several processes share one simulated machine; dpsim.exe drives it from the
// command line.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "support/sim_support.h"

namespace {

using ::testing::HasSubstr;

using dptest::BuiltIn;

std::wstring DpsimPath() {
  wchar_t exe[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring dir(exe, n);
  dir.resize(dir.find_last_of(L'\\') + 1);
  return dir + L"dpsim.exe";
}

std::wstring CommandLine(const std::vector<std::wstring>& args) {
  std::wstring line = L"\"" + DpsimPath() + L"\"";
  for (const std::wstring& a : args) line += L" \"" + a + L"\"";
  return line;
}

// Starts dpsim with its output going to `output` (inheritable).
HANDLE Start(const std::vector<std::wstring>& args, HANDLE output) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nullptr;
  si.hStdOutput = output;
  si.hStdError = output;
  PROCESS_INFORMATION pi{};
  std::wstring line = CommandLine(args);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi)) {
    ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

DWORD ExitCodeOf(HANDLE process) {
  WaitForSingleObject(process, 120'000);
  DWORD code = 9999;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return code;
}

struct Outcome {
  DWORD exitCode = 9999;
  std::string output;
};

Outcome Dpsim(const std::vector<std::wstring>& args) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  Outcome o;
  if (!CreatePipe(&read, &write, &sa, 0)) {
    ADD_FAILURE() << "CreatePipe failed";
    return o;
  }
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  HANDLE process = Start(args, write);
  CloseHandle(write);  // the child holds the only write end now
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
    o.output.append(buffer, got);
  CloseHandle(read);
  if (process) o.exitCode = ExitCodeOf(process);
  return o;
}

class ProcessTest : public dptest::SimStateTest {
 protected:
  std::vector<std::wstring> With(std::vector<std::wstring> args) {
    args.insert(args.begin(), {L"--state", StateFile()});
    return args;
  }
};

TEST_F(ProcessTest, ConcurrentProcessesNeverLoseAnUpdateNorSeeHalfAFile) {
  Use(BuiltIn("two-clone"));
  HANDLE nul = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(nul, INVALID_HANDLE_VALUE);
  SetHandleInformation(nul, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  constexpr int kQueriers = 4, kRepeats = 25, kScripters = 3;
  std::vector<HANDLE> processes;
  for (int i = 0; i < kQueriers; ++i) {
    processes.push_back(
        Start(With({L"query", L"all", L"--repeat", std::to_wstring(kRepeats)}), nul));
  }
  for (int i = 0; i < kScripters; ++i) {
    processes.push_back(
        Start(With({L"event", L"after-ms", L"86400000", L"inactive", std::to_wstring(i)}), nul));
  }
  // Meanwhile this process reads and writes too.
  int loads = 0;
  for (int i = 0; i < 20; ++i) {
    sim::Machine m;
    std::string error;
    ASSERT_TRUE(sim::LoadMachine(&m, &error)) << error;
    ++loads;
    ASSERT_EQ(sim::UpdateMachine([](sim::Machine& mm) {
                mm.faults.push_back({sim::Api::DisplayConfigGetDeviceInfo, 1000, 5});
                return ERROR_SUCCESS;
              }),
              ERROR_SUCCESS);
  }
  for (HANDLE p : processes) {
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(ExitCodeOf(p), 0u);
  }
  CloseHandle(nul);
  const sim::Machine after = Now();
  EXPECT_EQ(after.CallCount(sim::Api::GetDisplayConfigBufferSizes), uint32_t{kQueriers * kRepeats});
  EXPECT_EQ(after.CallCount(sim::Api::QueryDisplayConfig), uint32_t{kQueriers * kRepeats});
  EXPECT_EQ(after.events.size(), size_t{kScripters});
  EXPECT_EQ(after.faults.size(), 20u);
  EXPECT_EQ(loads, 20);
}

TEST_F(ProcessTest, DpsimScriptsAndInspectsTheMachine) {
  Outcome o = Dpsim(With({L"init", L"two-clone"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  EXPECT_THAT(o.output, HasSubstr("\\\\.\\DISPLAY1 [primary]"));
  EXPECT_THAT(o.output, HasSubstr("[clone]"));
  sim::Machine m = Now();
  EXPECT_EQ(m.paths.size(), 2u);
  EXPECT_GT(m.createdAtMs, 0u);

  o = Dpsim(With({L"fault", L"SetDisplayConfig", L"2", L"ERROR_ACCESS_DENIED"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  o = Dpsim(With({L"fault", L"QueryDisplayConfig", L"every", L"0x1F"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  o = Dpsim(With({L"event", L"after-call", L"SetDisplayConfig", L"1", L"appear", L"8192",
                  L"Virtual X", L"1280x720@75", L"clone:0"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  o = Dpsim(With({L"event", L"after-ms", L"86400000", L"unplug", L"4352"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  // "in" counts from now: the machine is already some ms old.
  const uint64_t age = sim::NowMs() - Now().createdAtMs;
  o = Dpsim(With({L"event", L"in-ms", L"86400000", L"inactive", L"4353"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;

  m = Now();
  ASSERT_EQ(m.faults.size(), 2u);
  EXPECT_EQ(m.faults[0].api, sim::Api::SetDisplayConfig);
  EXPECT_EQ(m.faults[0].atCall, 2u);
  EXPECT_EQ(m.faults[0].error, ERROR_ACCESS_DENIED);
  EXPECT_EQ(m.faults[1].api, sim::Api::QueryDisplayConfig);
  EXPECT_EQ(m.faults[1].atCall, 0u);
  EXPECT_EQ(m.faults[1].error, 31);
  ASSERT_EQ(m.events.size(), 3u);
  EXPECT_GE(*m.events[2].afterMs, 86400000u + age);
  EXPECT_LE(*m.events[2].afterMs, sim::NowMs() - m.createdAtMs + 86400000u);
  const sim::Event& appear = m.events[0];
  EXPECT_EQ(appear.afterApi, std::optional<sim::Api>(sim::Api::SetDisplayConfig));
  EXPECT_EQ(appear.afterCall, 1u);
  EXPECT_EQ(appear.action, sim::EventAction::Appear);
  EXPECT_EQ(appear.target.id, 8192u);
  EXPECT_EQ(appear.target.name, "Virtual X");
  EXPECT_EQ(appear.target.preferred.width, 1280u);
  EXPECT_EQ(appear.target.preferred.refreshHz, 75u);
  EXPECT_EQ(appear.appearAs, sim::AppearAs::Clone);
  EXPECT_EQ(appear.sourceId, std::optional<uint32_t>(0));
  EXPECT_EQ(m.events[1].afterMs, std::optional<uint64_t>(86400000));
  EXPECT_EQ(m.events[1].action, sim::EventAction::Unplug);
  EXPECT_EQ(m.events[1].targetId, 4352u);

  o = Dpsim(With({L"extend"}));
  EXPECT_EQ(o.exitCode, 0u) << o.output;
  o = Dpsim(With({L"extend"}));
  EXPECT_EQ(o.exitCode, 1u) << o.output;
  EXPECT_THAT(o.output, HasSubstr("-> 5"));
  o = Dpsim(With({L"query"}));
  EXPECT_EQ(o.exitCode, 1u) << o.output;
  EXPECT_THAT(o.output, HasSubstr("failed with 31"));

  o = Dpsim(With({L"calls"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  EXPECT_THAT(o.output, HasSubstr("SetDisplayConfig call 1: flags 0x84, 0 paths, 0 modes -> 0"))
      << o.output;
  EXPECT_THAT(o.output, HasSubstr("SetDisplayConfig call 2: flags 0x84, 0 paths, 0 modes -> 5"))
      << o.output;
  EXPECT_THAT(o.output, HasSubstr("QueryDisplayConfig=1"));

  o = Dpsim(With({L"show"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  EXPECT_THAT(o.output, HasSubstr("Virtual X"));
  EXPECT_THAT(o.output, HasSubstr("Fault: SetDisplayConfig call 2 fails with 5")) << o.output;
  EXPECT_THAT(o.output, HasSubstr("[fired]"));

  o = Dpsim(With({L"fault", L"clear"}));
  ASSERT_EQ(o.exitCode, 0u) << o.output;
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
  for (const Case& c : cases) {
    const Outcome o = Dpsim(With(c.args));
    SCOPED_TRACE(o.output);
    EXPECT_EQ(o.exitCode, c.exitCode);
    EXPECT_THAT(o.output, HasSubstr(c.says));
  }
  EXPECT_EQ(sim::MachineToJson(Now()), before);
}

TEST_F(ProcessTest, DpsimStartsAMachineFromAFileAndFindsTheStateThroughTheEnvironment) {
  sim::Machine m = BuiltIn("three-displays");
  m.targets[2].name = "Hand Made";
  m.createdAtMs = 0;  // init stamps it
  const std::string file = dir_.path() + "\\machine.json";
  ASSERT_TRUE(dptest::WriteFileBytes(file, sim::MachineToJson(m)));
  const std::wstring wfile = dir_.wpath() + L"\\machine.json";

  ASSERT_TRUE(SetEnvironmentVariableW(L"DPSIM_STATE", StateFile().c_str()));
  const Outcome o = Dpsim({L"init", wfile});
  SetEnvironmentVariableW(L"DPSIM_STATE", nullptr);
  ASSERT_EQ(o.exitCode, 0u) << o.output;
  EXPECT_THAT(o.output, HasSubstr("Hand Made"));
  const sim::Machine loaded = Now();
  EXPECT_EQ(loaded.targets[2].name, "Hand Made");
  EXPECT_GT(loaded.createdAtMs, 0u);

  const std::string broken = dir_.path() + "\\broken.json";
  ASSERT_TRUE(dptest::WriteFileBytes(broken, "{\"paths\": [{\"source\": 3, \"target\": 1}]}"));
  const Outcome bad = Dpsim(With({L"init", dir_.wpath() + L"\\broken.json"}));
  EXPECT_EQ(bad.exitCode, 1u);
  EXPECT_THAT(bad.output, HasSubstr("unknown source 3"));
  EXPECT_EQ(Now().targets[2].name, "Hand Made") << "a refused file replaces nothing";
}

}  // namespace
