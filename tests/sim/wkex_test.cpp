// The simulated virtual-display helper: what it takes from an EDID, and what
// wkex.exe does to the simulated machine with each setting and each bad input.
#include <gmock/gmock.h>

#include <filesystem>

#include "common/exe_dir.h"
#include "edidgen.h"
#include "run_program.h"
#include "sim/start_record.h"
#include "sim/virtual_edid.h"
#include "support/edid_bytes.h"
#include "support/sim_support.h"

namespace {

using ::testing::HasSubstr;

using dptest::Bytes;
using dptest::GeneratedBlock;

TEST(VirtualDisplayEdid, NameAndPreferredModeOrTheReason) {
  const Bytes good = GeneratedBlock(2560, 1440, 60, "TovikMonitor");
  auto with = [&](auto change, bool fix = true) {
    Bytes b = good;
    change(b);
    if (fix) dptest::FixChecksum(b);
    return b;
  };
  const struct {
    const char* what;
    Bytes edid;
    std::string name;  // empty: refused
    std::uint32_t w, h, hz;
    std::string reason;
  } cases[] = {
      {"generated", good, "TovikMonitor", 2560, 1440, 60, ""},
      {"4K", GeneratedBlock(3840, 2160, 60, "DP Virtual"), "DP Virtual", 3840, 2160, 60, ""},
      {"144 Hz", GeneratedBlock(1920, 1080, 144, "X"), "X", 1920, 1080, 144, ""},
      {"with an extension block", with([](Bytes& b) { b.resize(256, 0x11); }, false),
       "TovikMonitor", 2560, 1440, 60, ""},
      {"one byte short", with([](Bytes& b) { b.pop_back(); }, false), "", 0, 0, 0, "127 bytes"},
      {"header", with([](Bytes& b) { b[7] = 0x01; }), "", 0, 0, 0, "header"},
      {"checksum", with([](Bytes& b) { b[127] ^= 1; }, false), "", 0, 0, 0, "checksum"},
      {"no timing in slot 1", with([](Bytes& b) { b[54] = b[55] = 0; }), "", 0, 0, 0,
       "no detailed timing"},
      {"no name descriptor", with([](Bytes& b) { b[90 + 3] = 0xFE; }), "", 0, 0, 0,
       "no monitor-name descriptor"},
      {"empty name", with([](Bytes& b) { b[90 + 5] = 0x0A; }), "", 0, 0, 0, "empty name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::VirtualDisplaySpec shown;
    std::string error;
    const bool ok = sim::ParseVirtualDisplayEdid(c.edid, &shown, &error);
    ASSERT_EQ(ok, !c.name.empty()) << error;
    if (ok) {
      EXPECT_EQ(std::tie(shown.name, shown.width, shown.height, shown.refreshHz),
                std::tie(c.name, c.w, c.h, c.hz));
    } else {
      EXPECT_THAT(error, HasSubstr(c.reason));
    }
  }
}

// One start of wkex.exe beside a machine with one physical display.
using Environment = std::map<std::wstring, std::optional<std::wstring>>;
struct HelperCase {
  std::string name;
  Environment environment;
  std::string ini;       // wkex.ini beside the helper, when not empty
  std::string edidFile;  // the EDID file's content; "-" for no file
  bool knownName;        // the machine already knows a target of that name
  std::vector<std::wstring> arguments;
  DWORD exitCode;
  std::string stderrHas;  // part of what it says on failure
  // What it scheduled: nothing, or one appearance, timed (delayMs) or after a call.
  bool scheduled;
  sim::AppearAs as;
  std::optional<std::uint32_t> delayMs;
};

const std::vector<std::wstring> kSwitch = {L"/d", L"<EDID>"};

HelperCase Scheduled(std::string name, Environment env, std::string ini, std::string file,
                     sim::AppearAs as, std::optional<std::uint32_t> delayMs,
                     bool knownName = false) {
  return {name, env, ini, file, knownName, kSwitch, 0, "", true, as, delayMs};
}

HelperCase Refused(std::string name, Environment env, std::string file, DWORD exitCode,
                   std::string says, std::vector<std::wstring> arguments = kSwitch) {
  return {name,        env, "", file, false, arguments, exitCode, says, false, sim::AppearAs::Clone,
          std::nullopt};
}

std::vector<HelperCase> HelperCases() {
  const Bytes block = GeneratedBlock(2560, 1440, 60, "TovikMonitor");
  const std::string raw = dptest::AsText(block);
  const std::string hex = edidgen::FormatHexText(block.data(), block.size());
  Bytes bad = block;
  bad[127] ^= 0xFF;
  using As = sim::AppearAs;
  return {
      Scheduled("DefaultsJoinThePrimaryAfter300ms", {}, "", raw, As::Clone, 300),
      Scheduled("HexTextIsReadToo", {}, "", hex, As::Clone, 300),
      Scheduled("SameMonitorKeepsItsConnector", {}, "", raw, As::Clone, 300, true),
      Scheduled("EnvironmentChoosesExtend", {{L"WKEX_AS", L"extend"}, {L"WKEX_DELAY_MS", L"0"}}, "",
                raw, As::Extend, 0),
      Scheduled("SettingsFileChoosesInactive", {}, "[wkex]\r\nas=inactive\r\ndelayMs=50\r\n", raw,
                As::Inactive, 50),
      Scheduled("EnvironmentBeatsTheSettingsFile", {{L"WKEX_AS", L"extend"}},
                "[wkex]\r\nas=inactive\r\n", raw, As::Extend, 300),
      Scheduled("AfterACallInsteadOfADelay", {{L"WKEX_AFTER", L"SetDisplayConfig:1"}}, "", raw,
                As::Clone, std::nullopt),
      Refused("NeverAddsNothing", {{L"WKEX_AS", L"never"}}, raw, 0, ""),
      Refused("MissingFile", {}, "-", 1, "cannot open the EDID file; no display added"),
      Refused("MalformedFile", {}, dptest::AsText(bad), 1, "checksum"),
      Refused("EmptyFile", {}, "", 1, "only 0 bytes"),
      Refused("NoSwitch", {}, raw, 2, "usage: wkex.exe /d EDIDFILE", {L"<EDID>"}),
      Refused("UnknownSetting", {{L"WKEX_AS", L"sideways"}}, raw, 2, "not \"sideways\""),
      Refused("BadCallSetting", {{L"WKEX_AFTER", L"SetDisplayConfig:0"}}, raw, 2, "FUNCTION:N"),
  };
}

class Helper : public dptest::SimStateTest, public ::testing::WithParamInterface<HelperCase> {};

TEST_P(Helper, SchedulesTheDisplayOrSaysWhyNot) {
  const HelperCase& c = GetParam();
  const std::string helper = dir_.File("wkex.exe");
  ASSERT_TRUE(CopyFileA((GetExecutableDirectory() + "\\wkex.exe").c_str(), helper.c_str(), FALSE));
  if (!c.ini.empty()) {
    ASSERT_TRUE(dptest::WriteFileBytes(dir_.File("wkex.ini"), c.ini));
  }
  const std::string edid = dir_.File("profile 1.hex");
  if (c.edidFile != "-") {
    ASSERT_TRUE(dptest::WriteFileBytes(edid, c.edidFile));
  }

  sim::Machine m = dptest::BuiltIn("one-display");
  if (c.knownName) m.targets.push_back(dptest::Unplugged(0x1234, "TovikMonitor"));
  const std::uint64_t before = sim::NowMs();
  m.createdAtMs = before - 5000;
  m.helperGate = sim::HelperGate{sim::Api::SetDisplayConfig, 1, ""};
  Use(m);

  RunOptions run;
  run.program = std::filesystem::path(helper).wstring();
  for (const std::wstring& a : c.arguments)
    run.arguments.push_back(a == L"<EDID>" ? std::filesystem::path(edid).wstring() : a);
  run.environment = c.environment;
  run.environment[L"DPSIM_STATE"] = StateFile();
  for (const wchar_t* v : {L"WKEX_AS", L"WKEX_DELAY_MS", L"WKEX_AFTER"})
    run.environment.emplace(v, std::nullopt);
  const RunResult r = RunProgram(run);
  const std::uint64_t after = sim::NowMs();
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
  EXPECT_THAT(r.output, HasSubstr(c.stderrHas));

  // Every start is recorded, even the refused ones.
  EXPECT_EQ(sim::ReadStartRecords(dir_.wpath() + L"\\wkex.starts").size(), 1u);

  const sim::Machine now = Now();
  EXPECT_FALSE(now.helperGate.has_value()) << "whatever became of the display, the run may go on";
  EXPECT_EQ(now.paths.size(), 1u) << "the display only comes later";
  ASSERT_EQ(now.events.size(), c.scheduled ? 1u : 0u);
  if (!c.scheduled) return;
  const sim::Event& e = now.events[0];
  EXPECT_EQ(e.action, sim::EventAction::Appear);
  EXPECT_EQ(e.appearAs, c.as);
  const sim::Target& t = e.target;
  EXPECT_EQ(std::tie(t.name, t.id, t.preferred.width, t.preferred.height, t.preferred.refreshHz),
            std::make_tuple("TovikMonitor", c.knownName ? 0x1234u : 0x1101u, 2560u, 1440u, 60u));
  if (c.delayMs) {
    // The delay counts from when the helper ran, which lies in [before, after].
    ASSERT_TRUE(e.afterMs.has_value());
    EXPECT_GE(*e.afterMs, before - m.createdAtMs + *c.delayMs);
    EXPECT_LE(*e.afterMs, after - m.createdAtMs + *c.delayMs);
  } else {
    EXPECT_FALSE(e.afterMs.has_value());
    EXPECT_EQ(e.afterApi, std::optional<sim::Api>(sim::Api::SetDisplayConfig));
    EXPECT_EQ(e.afterCall, 1u);
  }
}

INSTANTIATE_TEST_SUITE_P(Settings, Helper, ::testing::ValuesIn(HelperCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
