// The state file: its JSON form, where it lives, and what happens when it is
// missing or unsound.
#include <gmock/gmock.h>

#include <algorithm>
#include <tuple>

#include "common/exe_dir.h"
#include "support/sim_support.h"

namespace {

using ::testing::HasSubstr;

using dptest::BuiltIn;

class StateTest : public dptest::SimStateTest {
 protected:
  std::string StateBytes() { return dptest::ReadFileBytes(StateFile()); }
};

sim::Machine EverythingMachine() {
  sim::Machine m = BuiltIn("two-extend-primary");
  m.adapter = LUID{0xDEADBEEF, -2};
  m.createdAtMs = 1'700'000'000'123ULL;
  m.targets[0].nameError = static_cast<LONG>(0x80070005);
  m.targets[1].available = false;
  m.targets[1].preferred = sim::DisplayMode{3840, 2160, 144};
  m.paths[0].sourceModeIdx = 42;
  m.paths[1].active = false;
  m.sources[1].mode.reset();  // an inactive path leaves its source without a mode
  m.callCounts = {1, 2, 3, 4};
  m.faults = {{sim::Api::QueryDisplayConfig, 0, ERROR_ACCESS_DENIED},
              {sim::Api::SetDisplayConfig, 7, -5}};
  sim::Event timed;
  timed.afterMs = 2500;
  timed.action = sim::EventAction::Appear;
  timed.target = dptest::Monitor(0x3000, "Sp\xC3\xA4t", 1024, 768);
  timed.appearAs = sim::AppearAs::Clone;
  timed.sourceId = 1;
  sim::Event counted;
  counted.afterApi = sim::Api::DisplayConfigGetDeviceInfo;
  counted.afterCall = 9;
  counted.action = sim::EventAction::Unplug;
  counted.targetId = 0x1100;
  counted.fired = true;
  m.events = {timed, counted};

  const DISPLAYCONFIG_PATH_INFO p = {
      .sourceInfo = {.adapterId = m.adapter,
                     .id = 1,
                     .modeInfoIdx = 0,
                     .statusFlags = DISPLAYCONFIG_SOURCE_IN_USE},
      .targetInfo = {.adapterId = m.adapter,
                     .id = 0x1101,
                     .modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID,
                     .outputTechnology = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED,
                     .rotation = DISPLAYCONFIG_ROTATION_ROTATE90,
                     .scaling = DISPLAYCONFIG_SCALING_STRETCHED,
                     .refreshRate = {59940, 1000},
                     .scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_INTERLACED,
                     .targetAvailable = TRUE,
                     .statusFlags = 3},
      .flags = DISPLAYCONFIG_PATH_ACTIVE};
  const DISPLAYCONFIG_MODE_INFO source = {
      .infoType = DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE,
      .id = 1,
      .adapterId = m.adapter,
      .sourceMode = {2560, 1440, DISPLAYCONFIG_PIXELFORMAT_32BPP, {-2560, 77}}};
  DISPLAYCONFIG_MODE_INFO target{};
  target.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_TARGET;
  target.id = 0x1101;
  target.adapterId = m.adapter;
  auto& v = target.targetMode.targetVideoSignalInfo;
  v.pixelRate = 241'500'000'000ULL;
  v.hSyncFreq = {88'800, 1};
  v.vSyncFreq = {60'000, 1001};
  v.activeSize = {2560, 1440};
  v.totalSize = {2720, 1481};
  v.videoStandard = 255;
  v.scanLineOrdering = DISPLAYCONFIG_SCANLINE_ORDERING_PROGRESSIVE;
  DISPLAYCONFIG_MODE_INFO image{};  // a kind the simulation does not model
  image.infoType = static_cast<DISPLAYCONFIG_MODE_INFO_TYPE>(3);
  image.id = 1;
  auto* bytes = reinterpret_cast<unsigned char*>(&image.targetMode);
  for (size_t i = 0; i < sizeof image.targetMode; ++i) bytes[i] = static_cast<unsigned char>(i * 7);
  m.setCalls = {{.flags = 0x2A0,
                 .numPathArrayElements = 1,
                 .numModeInfoArrayElements = 3,
                 .paths = {p},
                 .modes = {source, target, image},
                 .result = ERROR_INVALID_PARAMETER}};
  m.databaseSaves = 2;
  m.database = sim::SavedLayout{m.paths, m.sources};
  return m;
}

TEST_F(StateTest, EverythingSurvivesTheRoundTrip) {
  const sim::Machine m = EverythingMachine();
  const std::string text = sim::MachineToJson(m);
  sim::Machine back;
  std::string error;
  ASSERT_TRUE(sim::MachineFromJson(text, &back, &error)) << error << "\n" << text;
  EXPECT_EQ(sim::MachineToJson(back), text);
  EXPECT_EQ(back.adapter.HighPart, -2);
  EXPECT_EQ(back.targets[0].nameError, static_cast<LONG>(0x80070005));
  EXPECT_EQ(back.targets[1].preferred.refreshHz, 144u);
  EXPECT_EQ(std::tie(back.paths[0].sourceModeIdx, back.paths[0].active, back.paths[1].active),
            std::make_tuple(std::optional<uint32_t>(42), true, false));
  EXPECT_EQ(back.callCounts, m.callCounts);
  EXPECT_EQ(back.faults[1].error, -5);
  EXPECT_EQ(back.events[0].target.name, "Sp\xC3\xA4t");
  EXPECT_EQ(back.events[0].afterMs, std::optional<uint64_t>(2500));
  EXPECT_EQ(back.events[1].afterApi, std::optional<sim::Api>(sim::Api::DisplayConfigGetDeviceInfo));
  EXPECT_TRUE(back.events[1].fired);
  ASSERT_EQ(back.setCalls.size(), 1u);
  EXPECT_TRUE(dptest::SameBytes(back.setCalls[0].paths, m.setCalls[0].paths)) << "the paths";
  EXPECT_TRUE(dptest::SameBytes(back.setCalls[0].modes, m.setCalls[0].modes)) << "the modes";
  ASSERT_TRUE(back.database.has_value());
  EXPECT_EQ(back.database->sources.size(), 2u);
  EXPECT_EQ(back.databaseSaves, 2u);

  // And through the file.
  Use(m);
  EXPECT_EQ(sim::MachineToJson(Now()), text);
}

TEST_F(StateTest, AHandWrittenFileNeedsOnlyTheMachine) {
  const std::string text = R"({
    "targets": [ { "id": 5, "name": "Desk" } ],
    "sources": [ { "id": 0, "gdiName": "\\\\.\\DISPLAY1", "mode": { "width": 1280, "height": 1024, "x": 0, "y": 0 } } ],
    "paths": [ { "source": 0, "target": 5 } ]
  })";
  sim::Machine m;
  std::string error;
  ASSERT_TRUE(sim::MachineFromJson(text, &m, &error)) << error;
  EXPECT_TRUE(m.targets[0].available);
  EXPECT_EQ(m.targets[0].preferred.width, 1920u);
  EXPECT_EQ(m.targets[0].preferred.refreshHz, 60u);
  EXPECT_EQ(m.sources[0].gdiName, "\\\\.\\DISPLAY1");
  EXPECT_EQ(m.CallCount(sim::Api::SetDisplayConfig), 0u);
  EXPECT_EQ(m.adapter.LowPart, sim::Machine{}.adapter.LowPart);
}

TEST_F(StateTest, UnsoundStatesAreRefusedWithAReason) {
  struct Case {
    std::string text;
    const char* reason;
  };
  const std::string source0 =
      R"({"id":0,"gdiName":"\\\\.\\DISPLAY1","mode":{"width":800,"height":600,"x":0,"y":0}})";
  const Case cases[] = {
      {"", "not valid JSON"},
      {"{\"targets\": [", "not valid JSON"},
      {"[]", "JSON object"},
      {R"({"format": 2})", "unknown format 2"},
      {R"({"targets": {}})", "\"targets\" must be a list"},
      {R"({"targets": [{"name": "x"}]})", "targets[0]: missing \"id\""},
      {R"({"targets": [{"id": -1, "name": "x"}]})", "\"id\" must be a whole number >= 0"},
      {R"({"targets": [{"id": 4294967296, "name": "x"}]})", "\"id\" is too large"},
      {R"({"targets": [{"id": 1, "name": 7}]})", "\"name\" must be text"},
      {R"({"targets": [{"id": 1, "name": "a"}, {"id": 1, "name": "b"}]})",
       "target id 1 appears twice"},
      {R"({"targets": [{"id": 1, "name": "a", "available": "yes"}]})", "true or false"},
      {R"({"targets": [{"id": 1, "name": "a", "preferredMode": {"width": 0, "height": 1}}]})",
       "preferred mode needs a size"},
      {R"({"sources": [{"id": 0, "gdiName": "", "mode": null}]})", "has no GDI name"},
      {R"({"sources": [{"id": 0, "gdiName": "D", "mode": {"width": 1, "height": 1, "x": 2147483648, "y": 0}}]})",
       "\"x\" is out of range"},
      {R"({"paths": [{"source": 0, "target": 1}]})", "unknown source 0"},
      {"{\"sources\": [" + source0 + "], \"paths\": [{\"source\": 0, \"target\": 1}]}",
       "unknown target 1"},
      {R"({"targets": [{"id": 1, "name": "a"}], "sources": [{"id": 0, "gdiName": "D"}], "paths": [{"source": 0, "target": 1}]})",
       "source 0 is on a path but has no mode"},
      // Windows answers an inactive path with invalid mode indexes, so its
      // source keeps no mode on its account and no index can be forced on it.
      {"{\"targets\": [{\"id\": 1, \"name\": \"a\"}], \"sources\": [" + source0 +
           "], \"paths\": [{\"source\": 0, \"target\": 1, \"active\": false}]}",
       "path 0 -> 1 is inactive but its source keeps a mode"},
      {R"({"targets": [{"id": 1, "name": "a"}], "sources": [{"id": 0, "gdiName": "D"}], "paths": [{"source": 0, "target": 1, "active": false, "sourceModeIdx": 0}]})",
       "path 0 -> 1 is inactive but has a sourceModeIdx"},
      // Windows drives a target from one source at a time.
      {"{\"targets\": [{\"id\": 1, \"name\": \"a\"}], \"sources\": [" + source0 +
           ", {\"id\": 1, \"gdiName\": \"E\", \"mode\": {\"width\": 8, \"height\": 6, "
           "\"x\": 800, \"y\": 0}}], \"paths\": [{\"source\": 0, \"target\": 1}, {\"source\": 1, "
           "\"target\": 1}]}",
       "target 1 is on two active paths"},
      {R"({"callCounts": {"EnumDisplayDevices": 1}})", "unknown function"},
      {R"({"faults": [{"api": "SetDisplayConfig", "at": 0, "error": 5}]})", "counts calls from 1"},
      {R"({"faults": [{"api": "Nope", "at": 1, "error": 5}]})", "\"api\" must name"},
      {R"({"faults": [{"api": "SetDisplayConfig", "at": "sometimes", "error": 5}]})", "\"at\""},
      {R"({"events": [{"after": {"ms": 5}, "action": "explode", "target": 1}]})",
       "unknown event action"},
      {R"({"events": [{"after": {"ms": 5}, "action": "appear", "display": {"id": 1, "name": "x"}, "as": "sideways"}]})",
       "unknown \"as\""},
      {R"({"events": [{"after": {"api": "QueryDisplayConfig"}, "action": "unplug", "target": 1}]})",
       "missing \"call\""},
      {R"({"events": [{"after": {"ms": 1, "api": "QueryDisplayConfig", "call": 1}, "action": "unplug", "target": 1}]})",
       "exactly one trigger"},
      {R"({"setCalls": [{"flags": 132, "numPaths": 0, "numModes": 0, "modes": [{"type": 1, "id": 0, "adapter": [1]}], "result": 0}]})",
       "[low, high]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    sim::Machine m = BuiltIn("one-display");
    std::string error;
    EXPECT_FALSE(sim::MachineFromJson(c.text, &m, &error));
    EXPECT_THAT(error, HasSubstr(c.reason)) << "reason given: " << error;
    EXPECT_EQ(m.targets.size(), 1u) << "the machine is left as it was";
  }
}

TEST_F(StateTest, AMissingFileStartsTheBuiltInOneDisplayMachine) {
  const uint64_t before = sim::NowMs();
  const dptest::Query q = dptest::RunQuery(QDC_ALL_PATHS);
  const uint64_t after = sim::NowMs();
  ASSERT_EQ(q.result, ERROR_SUCCESS);
  ASSERT_EQ(q.paths.size(), 1u);
  const sim::Machine m = Now();
  ASSERT_EQ(m.targets.size(), 1u);
  EXPECT_EQ(m.targets[0].name, "DELL U2720Q");
  EXPECT_EQ(m.sources[0].gdiName, "\\\\.\\DISPLAY1");
  EXPECT_EQ(m.sources[0].mode->width, 1920u);
  EXPECT_GE(m.createdAtMs, before);
  EXPECT_LE(m.createdAtMs, after);
  EXPECT_EQ(m.CallCount(sim::Api::QueryDisplayConfig), 1u);
}

TEST_F(StateTest, AnUnsoundFileFailsEveryCallAndIsLeftAlone) {
  const std::string broken = "{\"targets\": [ {\"id\": 1, \"name\": \"half";
  ASSERT_TRUE(dptest::WriteFileBytes(StateFile(), broken));
  EXPECT_EQ(dptest::RunQuery(QDC_ALL_PATHS).sizesResult, ERROR_GEN_FAILURE);
  EXPECT_EQ(dptest::Extend(), ERROR_GEN_FAILURE);
  EXPECT_EQ(StateBytes(), broken);
  sim::Machine m;
  std::string error;
  EXPECT_FALSE(sim::LoadMachine(&m, &error));
  EXPECT_THAT(error, HasSubstr("not valid JSON"));
}

TEST_F(StateTest, AMissingDirectoryFailsCleanly) {
  sim::SetStatePath(dir_.wpath() + L"\\no\\such\\dir\\state.json");
  EXPECT_EQ(dptest::RunQuery(QDC_ALL_PATHS).sizesResult, ERROR_GEN_FAILURE);
  std::string error;
  EXPECT_FALSE(sim::SaveMachine(BuiltIn("one-display"), &error));
  EXPECT_THAT(error, HasSubstr("no\\such\\dir"));
  EXPECT_EQ(GetFileAttributesW((dir_.wpath() + L"\\no").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(StateTest, AnUnsoundMachineIsNeverSaved) {
  Use(BuiltIn("one-display"));
  const std::string before = StateBytes();
  sim::Machine bad = BuiltIn("one-display");
  bad.paths.push_back(dptest::Link(0, 0x9999));
  std::string error;
  EXPECT_FALSE(sim::SaveMachine(bad, &error));
  EXPECT_THAT(error, HasSubstr("unknown target"));
  EXPECT_EQ(StateBytes(), before);
  // Nor by a change inside a transaction.
  EXPECT_EQ(sim::UpdateMachine([](sim::Machine& m) {
              m.sources.clear();
              return ERROR_SUCCESS;
            }),
            ERROR_GEN_FAILURE);
  EXPECT_EQ(StateBytes(), before);
}

TEST_F(StateTest, NothingIsLeftBesideTheStateButItsLock) {
  Use(BuiltIn("two-clone"));
  dptest::RunQuery(QDC_ALL_PATHS);
  dptest::Extend();
  std::vector<std::wstring> names = dptest::FindNames(dir_.wpath() + L"\\*");
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::wstring>{L"state.json", L"state.json.lock"}));
}

TEST_F(StateTest, TheStatePathComesFromTheTestTheEnvironmentOrTheExecutable) {
  EXPECT_EQ(sim::StatePath(), StateFile());

  sim::SetStatePath(std::wstring());
  ASSERT_TRUE(SetEnvironmentVariableW(L"DPSIM_STATE", L"C:\\elsewhere\\machine.json"));
  EXPECT_EQ(sim::StatePath(), L"C:\\elsewhere\\machine.json");

  ASSERT_TRUE(SetEnvironmentVariableW(L"DPSIM_STATE", nullptr));
  EXPECT_EQ(sim::StatePath(), GetExecutableDirectoryW() + L"\\sim-state.json");

  sim::SetStatePath(std::string("C:\\narrow\\state.json"));
  EXPECT_EQ(sim::StatePath(), L"C:\\narrow\\state.json");
}

}  // namespace
