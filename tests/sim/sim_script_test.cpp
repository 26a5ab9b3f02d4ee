// Scripted faults and events of the simulated machine.
#include <atomic>
#include <thread>
#include <tuple>

#include "support/sim_support.h"

namespace {

using dptest::BuiltIn;
using dptest::Extend;
using dptest::RunQuery;
using dptest::Summary;

constexpr uint32_t kDell = 0x1100, kTovik = 0x1101, kLg = 0x1102;

class ScriptTest : public dptest::SimStateTest {};

// One call of each function the way a program makes it.
LONG CallOnce(sim::Api api) {
  switch (api) {
    case sim::Api::GetDisplayConfigBufferSizes: {
      UINT32 p = 0, m = 0;
      return displayapi::GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &p, &m);
    }
    case sim::Api::QueryDisplayConfig: {
      DISPLAYCONFIG_PATH_INFO paths[16];
      DISPLAYCONFIG_MODE_INFO modes[16];
      UINT32 p = 16, m = 16;
      return displayapi::QueryDisplayConfig(QDC_ALL_PATHS, &p, paths, &m, modes, nullptr);
    }
    case sim::Api::DisplayConfigGetDeviceInfo: {
      DISPLAYCONFIG_SOURCE_DEVICE_NAME r{};
      r.header = {DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME, sizeof r, sim::Machine{}.adapter, 0};
      return displayapi::DisplayConfigGetDeviceInfo(&r.header);
    }
    case sim::Api::SetDisplayConfig:
      return Extend();
  }
  return -1;
}

TEST_F(ScriptTest, FaultsHitTheirCallNumberOrEveryCall) {
  const sim::Api apis[] = {sim::Api::GetDisplayConfigBufferSizes, sim::Api::QueryDisplayConfig,
                           sim::Api::DisplayConfigGetDeviceInfo, sim::Api::SetDisplayConfig};
  struct Case {
    uint32_t at;
    LONG error;
    std::vector<LONG> expected;
  };
  const Case cases[] = {
      {2, ERROR_GEN_FAILURE, {0, 31, 0}},
      {1, ERROR_ACCESS_DENIED, {5, 0, 0}},
      {3, static_cast<LONG>(0x80004005), {0, 0, static_cast<LONG>(0x80004005)}},
      {0, ERROR_NOT_SUPPORTED, {50, 50, 50}},
  };
  for (sim::Api api : apis) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(sim::ApiName(api)) + " at " + std::to_string(c.at));
      sim::Machine m = BuiltIn("one-display");
      m.faults = {{api, c.at, c.error}};
      // A fault on another function must not leak into this one.
      m.faults.push_back({api == sim::Api::SetDisplayConfig ? sim::Api::QueryDisplayConfig
                                                            : sim::Api::SetDisplayConfig,
                          0, ERROR_BAD_CONFIGURATION});
      Use(m);
      std::vector<LONG> results;
      for (int i = 0; i < 3; ++i) results.push_back(CallOnce(api));
      EXPECT_EQ(results, c.expected);
      EXPECT_EQ(Now().CallCount(api), 3u);
    }
  }
}

TEST_F(ScriptTest, AFailedCallTouchesNothingButIsRecorded) {
  sim::Machine m = BuiltIn("two-clone");
  m.faults = {{sim::Api::SetDisplayConfig, 1, ERROR_ACCESS_DENIED},
              {sim::Api::QueryDisplayConfig, 1, ERROR_GEN_FAILURE}};
  Use(m);
  EXPECT_EQ(Extend(), ERROR_ACCESS_DENIED);
  sim::Machine after = Now();
  EXPECT_EQ(after.paths[0].sourceId, after.paths[1].sourceId) << "still a clone";
  EXPECT_EQ(sim::DescribeSetCalls(after),
            "SetDisplayConfig call 1: flags 0x84, 0 paths, 0 modes -> 5\n");

  DISPLAYCONFIG_PATH_INFO paths[8]{};
  DISPLAYCONFIG_MODE_INFO modes[8]{};
  UINT32 numPaths = 8, numModes = 8;
  EXPECT_EQ(
      displayapi::QueryDisplayConfig(QDC_ALL_PATHS, &numPaths, paths, &numModes, modes, nullptr),
      ERROR_GEN_FAILURE);
  EXPECT_EQ(numPaths, 8u);
  EXPECT_EQ(paths[0].targetInfo.id, 0u) << "nothing written on failure";

  EXPECT_EQ(Extend(), ERROR_SUCCESS);
  after = Now();
  EXPECT_NE(after.paths[0].sourceId, after.paths[1].sourceId) << sim::RenderDesktop(after);
}

// ---- what events do ----

sim::Target Tovik(uint32_t id = kTovik) { return dptest::Monitor(id, "TovikMonitor", 2560, 1440); }

// Events that are due at once (timed, after 0 ms).
sim::Event On(sim::EventAction action, uint32_t target,
              std::optional<uint32_t> source = std::nullopt) {
  sim::Event e;
  e.afterMs = 0;
  e.action = action;
  e.targetId = target;
  e.sourceId = source;
  return e;
}

sim::Event Appear(sim::AppearAs as) {
  sim::Event e = On(sim::EventAction::Appear, 0);
  e.target = Tovik();
  e.appearAs = as;
  return e;
}

TEST_F(ScriptTest, EventActionsChangeTheMachineAsAPlugOrAUserWould) {
  using A = sim::EventAction;
  struct Case {
    const char* what;
    const char* machine;
    sim::Event event;
    std::string expected;
  };
  const Case cases[] = {
      {"appears extended", "one-display", Appear(sim::AppearAs::Extend),
       "4352@DISPLAY1(0,0)1920 4353@DISPLAY2(1920,0)2560 "},
      {"appears as clone of the primary", "one-display", Appear(sim::AppearAs::Clone),
       "4352@DISPLAY1(0,0)1920 4353@DISPLAY1(0,0)1920 "},
      {"appears inactive", "one-display", Appear(sim::AppearAs::Inactive),
       "4352@DISPLAY1(0,0)1920 4353:idle "},
      {"appears as clone with nothing to clone", "no-display", Appear(sim::AppearAs::Clone),
       "4353@DISPLAY1(0,0)2560 "},
      {"a clone reappears extended", "two-clone", Appear(sim::AppearAs::Extend),
       "4352@DISPLAY1(0,0)1920 4353@DISPLAY2(1920,0)2560 "},
      {"secondary turns inactive", "two-extend-physical-primary", On(A::Deactivate, kTovik),
       "4352@DISPLAY1(0,0)1920 4353:idle "},
      {"primary turns inactive, the other takes (0,0)", "two-extend-primary",
       On(A::Deactivate, kTovik), "4352@DISPLAY1(0,0)1920 4353:idle "},
      {"secondary joins the primary's clone", "two-extend-physical-primary",
       On(A::JoinClone, kTovik), "4352@DISPLAY1(0,0)1920 4353@DISPLAY1(0,0)1920 "},
      {"primary joins the other's clone", "two-extend-primary", On(A::JoinClone, kTovik),
       "4352@DISPLAY1(0,0)1920 4353@DISPLAY1(0,0)1920 "},
      {"joins a named source", "three-displays", On(A::JoinClone, kDell, 2),
       "4354@DISPLAY2(0,0)2560 4353@DISPLAY3(2560,0)2560 4352@DISPLAY3(2560,0)2560 "},
      {"clone onto an inactive source does nothing", "two-extend-primary",
       On(A::JoinClone, kTovik, 5), "4352@DISPLAY1(2560,0)1920 4353@DISPLAY2(0,0)2560 "},
      {"primary unplugged", "two-extend-primary", On(A::Unplug, kTovik),
       "4352@DISPLAY1(0,0)1920 4353:unplugged "},
      {"inactive one unplugged", "two-one-inactive", On(A::Unplug, kTovik),
       "4352@DISPLAY1(0,0)1920 4353:unplugged "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m = BuiltIn(c.machine);
    sim::ApplyEventAction(m, c.event);
    EXPECT_EQ(Summary(m), c.expected) << sim::RenderDesktop(m);
    EXPECT_EQ(sim::CheckMachine(m), "");
  }
}

// ---- when events happen ----

TEST_F(ScriptTest, EventAfterCallNHappensOnceCallNIsAnswered) {
  sim::Machine m = BuiltIn("one-display");
  m.events = {dptest::Appears(Tovik(), sim::Api::SetDisplayConfig, 2, sim::AppearAs::Extend)};
  Use(m);

  EXPECT_EQ(RunQuery(QDC_ONLY_ACTIVE_PATHS).paths.size(), 1u);
  ASSERT_EQ(Extend(), ERROR_SUCCESS);
  EXPECT_EQ(RunQuery(QDC_ONLY_ACTIVE_PATHS).paths.size(), 1u) << "one call is not two";
  ASSERT_EQ(Extend(), ERROR_SUCCESS);
  const sim::Machine after = Now();
  EXPECT_EQ(Summary(after), "4352@DISPLAY1(0,0)1920 4353@DISPLAY2(1920,0)2560 ");
  ASSERT_EQ(after.events.size(), 1u);
  EXPECT_TRUE(after.events[0].fired);
}

TEST_F(ScriptTest, AnEventFiresOnlyOnce) {
  sim::Machine m = BuiltIn("two-extend-physical-primary");
  m.events = {On(sim::EventAction::Deactivate, kTovik)};
  m.events[0].afterMs.reset();
  m.events[0].afterApi = sim::Api::QueryDisplayConfig;
  m.events[0].afterCall = 1;
  Use(m);
  RunQuery(QDC_ALL_PATHS);  // fires the event: the virtual display turns off
  EXPECT_EQ(RunQuery(QDC_ONLY_ACTIVE_PATHS).paths.size(), 1u);
  ASSERT_EQ(Extend(), ERROR_SUCCESS);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(RunQuery(QDC_ONLY_ACTIVE_PATHS).paths.size(), 2u) << "query " << i;
  }
}

TEST_F(ScriptTest, AChangeBetweenSizingAndQueryingShowsAsTooSmallABuffer) {
  sim::Machine m = BuiltIn("one-display");
  m.events = {
      dptest::Appears(Tovik(), sim::Api::GetDisplayConfigBufferSizes, 1, sim::AppearAs::Extend)};
  Use(m);
  const dptest::Query q = RunQuery(QDC_ALL_PATHS);
  EXPECT_EQ(q.sizesResult, ERROR_SUCCESS);
  EXPECT_EQ(q.sizedPaths, 1u);
  EXPECT_EQ(q.result, ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(RunQuery(QDC_ALL_PATHS).paths.size(), 4u);
}

TEST_F(ScriptTest, TimedEventsCountFromTheMachinesCreation) {
  // The creation time is written into the past instead of waiting.
  struct Case {
    const char* what;
    uint64_t ageMs;
    uint64_t afterMs;
    bool fires;
  };
  const Case cases[] = {
      {"long due", 60'000, 5'000, true},
      {"just due", 5'000, 4'000, true},
      {"not yet", 1'000, 3'600'000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::Machine m = BuiltIn("one-display");
    m.createdAtMs = sim::NowMs() - c.ageMs;
    m.events = {Appear(sim::AppearAs::Extend)};
    m.events[0].afterMs = c.afterMs;
    Use(m);
    // The first call already answers with the event applied.
    EXPECT_EQ(RunQuery(QDC_ONLY_ACTIVE_PATHS).paths.size(), c.fires ? 2u : 1u);
    EXPECT_EQ(Now().events[0].fired, c.fires);
  }
}

TEST_F(ScriptTest, DueEventsFireInTheOrderWritten) {
  sim::Machine m = BuiltIn("one-display");
  m.events = {Appear(sim::AppearAs::Extend), On(sim::EventAction::JoinClone, kTovik)};
  sim::FireDueEvents(m, m.createdAtMs);
  EXPECT_EQ(Summary(m), "4352@DISPLAY1(0,0)1920 4353@DISPLAY1(0,0)1920 ");
  EXPECT_TRUE(m.events[0].fired);
  EXPECT_TRUE(m.events[1].fired);
}

TEST_F(ScriptTest, CallCountEventsWaitForTheirFunction) {
  sim::Machine m = BuiltIn("one-display");
  m.events = {
      dptest::Appears(Tovik(kLg), sim::Api::DisplayConfigGetDeviceInfo, 1, sim::AppearAs::Extend)};
  m.callCounts[static_cast<int>(sim::Api::QueryDisplayConfig)] = 5;
  sim::FireDueEvents(m, sim::NowMs());
  EXPECT_FALSE(m.events[0].fired);
  m.callCounts[static_cast<int>(sim::Api::DisplayConfigGetDeviceInfo)] = 1;
  sim::FireDueEvents(m, sim::NowMs());
  EXPECT_TRUE(m.events[0].fired);
  EXPECT_TRUE(sim::IsTargetActive(m, kLg));
}

// The gate holds a run's calls past its count, whichever function they are,
// until someone opens it; the calls up to the count are never held.
TEST_F(ScriptTest, HelperGateHoldsTheCallsPastItsCountUntilItOpens) {
  sim::Machine m = BuiltIn("one-display");
  m.helperGate = sim::HelperGate{sim::Api::SetDisplayConfig, 1, ""};
  Use(m);
  EXPECT_EQ(CallOnce(sim::Api::GetDisplayConfigBufferSizes), ERROR_SUCCESS);
  EXPECT_EQ(CallOnce(sim::Api::SetDisplayConfig), ERROR_SUCCESS);
  ASSERT_TRUE(Now().helperGate.has_value()) << "the calls up to the count leave the gate shut";

  std::atomic<bool> opened{false};
  std::thread helper([&] {
    Sleep(300);
    opened = true;
    sim::UpdateMachine([](sim::Machine& machine) -> LONG {
      machine.helperGate.reset();
      return ERROR_SUCCESS;
    });
  });
  const LONG held = CallOnce(sim::Api::QueryDisplayConfig);
  const bool openedFirst = opened;
  helper.join();
  EXPECT_EQ(held, ERROR_SUCCESS);
  EXPECT_TRUE(openedFirst) << "the call past the count was answered before the gate opened";
  // Sizes, query, device info, set: each call counted once, the held one too.
  EXPECT_EQ(Now().callCounts, (std::array<uint32_t, sim::kApiCount>{1, 1, 0, 1}));
}

TEST_F(ScriptTest, HelperGateNamingAHelperThatIsNotRunningHoldsNothing) {
  // The run never started its helper (no profile was chosen, say): nothing
  // will open the gate, so the call goes on and the gate is gone.
  sim::Machine m = BuiltIn("one-display");
  m.helperGate = sim::HelperGate{sim::Api::SetDisplayConfig, 1, "C:\\nowhere\\wkex.exe"};
  m.callCounts[static_cast<int>(sim::Api::SetDisplayConfig)] = 1;
  Use(m);
  const ULONGLONG started = GetTickCount64();
  EXPECT_EQ(CallOnce(sim::Api::QueryDisplayConfig), ERROR_SUCCESS);
  EXPECT_LT(GetTickCount64() - started, sim::kHelperGateTimeoutMs) << "held until the gate gave up";
  EXPECT_FALSE(Now().helperGate.has_value());
  EXPECT_EQ(Now().CallCount(sim::Api::QueryDisplayConfig), 1u);
}

TEST_F(ScriptTest, HelperGateSurvivesTheStateFile) {
  sim::Machine m = BuiltIn("one-display");
  m.helperGate = sim::HelperGate{sim::Api::QueryDisplayConfig, 7, "C:\\d\\wkex.exe"};
  sim::Machine back;
  std::string error;
  ASSERT_TRUE(sim::MachineFromJson(sim::MachineToJson(m), &back, &error)) << error;
  ASSERT_TRUE(back.helperGate.has_value());
  const sim::HelperGate& g = *back.helperGate;
  EXPECT_EQ(std::tie(g.api, g.afterCall, g.helper),
            std::make_tuple(sim::Api::QueryDisplayConfig, 7u, "C:\\d\\wkex.exe"));
}

}  // namespace
