// displayprep-check-sim.exe, the pre-flight check on the simulated stacks: in
// each context, and with what a deployment can lack. It must answer what a
// run would meet and change nothing: no log, no start, no display call that
// changes the machine, no profile touched.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <regex>
#include <sstream>

#include "edidgen.h"
#include "sandbox.h"
#include "support/edid_bytes.h"
#include "support/log_capture.h"
#include "support/sim_fixture.h"
#include "support/text.h"

namespace {

using dptest::Link;
using dptest::Monitor;
using dptest::ReadFileBytes;
using dptest::Shown;
using dptest::StripLogPrefixes;

constexpr uint32_t kDell = 0x1100;

sim::Machine ThreeDisplays() {
  sim::Machine m;
  for (uint32_t i = 0; i < 3; ++i) {
    m.targets.push_back(Monitor(kDell + i, "DELL P24" + std::to_string(i)));
    m.sources.push_back(Shown(i, 1920, 1080, static_cast<int32_t>(1920 * i), 0));
    m.paths.push_back(Link(i, kDell + i));
  }
  return m;
}

std::map<std::string, std::string> ByLabel(const std::string& output) {
  std::map<std::string, std::string> lines;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos) lines[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return lines;
}

// The lines every case shares, for the typical deployment in a context that
// can reach the displays. "<A>" is APPDATA, "<D>" the deployment.
const std::map<std::string, std::string> kTypical = {
    {"display calls", "answered"},
    {"displays",
     "1 listed: [0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) at (0,0) [Active] [Primary]"},
    {"a run", "provisions the virtual monitor, then arranges"},
    {"store.dat", "<A>\\harnfold\\store.dat: width=2560, height=1440, fps=60"},
    {"profile",
     "<D>\\edid\\2560x1440x60.hex (distance=0), hex text, 1 block, monitor name \"DP Virtual\""},
    {"rewrite", "possible"},
    {"helper", "<D>\\wkex.exe: present"},
    {"companion", "<D>\\rent_protect\\zanbyprotect.exe: present"},
    {"log", "<A>\\harnfold\\log\\display.log"},
};

struct CheckCase {
  const char* name;
  const wchar_t* account;  // DPSIM_ACCOUNT, nullptr: unset
  sim::Machine (*machine)();
  std::function<void(Sandbox&)> change;  // what the deployment lacks
  bool readOnlyProfiles = false;
  bool packagedProfiles = false;  // named TovikMonitor already
  // Lines that differ from kTypical; "account" and "session" always given
  // (a regular expression for the account: the ordinary one is Wine's user).
  std::map<std::string, std::string> lines;
  bool reachesGoal;
  std::string verdict;
};

const char* kSystem = "NT AUTHORITY\\\\SYSTEM, the local system account";
const char* kOrdinary = ".+\\\\.+, not the local system account";
const char* kGranted = "possible: the companion would start as the user of session 1";

std::vector<CheckCase> Cases() {
  auto remove = [](const char* file) {
    return [file](Sandbox& box) { ASSERT_TRUE(DeleteFileW(box.FileW(file).c_str())); };
  };
  auto profile = [](std::string bytes) {
    return [bytes](Sandbox& box) { box.Write("edid\\2560x1440x60.hex", bytes); };
  };
  const std::string directly =
      "not possible \\(WTSQueryUserToken error 1314\\): the companion would start directly, as "
      ".+ in session 1";
  return {
      {"SystemInConsoleSession",
       nullptr,
       dptest::OneDellDisplay,
       nullptr,
       false,
       false,
       {{"account", kSystem},
        {"session", "1, the console session"},
        {"user-session launch", kGranted}},
       true,
       "a run would reach its goal"},
      {"UserInConsoleSession",
       L"user",
       dptest::OneDellDisplay,
       nullptr,
       false,
       false,
       {{"account", kOrdinary},
        {"session", "1, the console session"},
        {"user-session launch", directly}},
       true,
       "a run would reach its goal"},
      {"SystemInSession0",
       L"system-session0",
       dptest::OneDellDisplay,
       nullptr,
       false,
       false,
       {{"account", kSystem},
        {"session",
         "0, not the console session (1): the services' session, without the user's desktop"},
        {"display calls", "refused with error 5 (no access to the console session's displays)"},
        {"displays", "none (the listing failed: Failed to get display config buffer sizes.)"},
        {"user-session launch", kGranted}},
       false,
       "a run would not reach its goal: the display calls are refused"},
      {"ReadOnlyProfileWithTheOldName",
       L"user",
       dptest::OneDellDisplay,
       nullptr,
       true,
       false,
       {{"account", kOrdinary},
        {"session", "1, the console session"},
        {"user-session launch", directly},
        {"rewrite",
         "not possible: the file is read-only; the helper would get \"DP Virtual\", not "
         "TovikMonitor"}},
       false,
       "a run would not reach its goal: the profile cannot be renamed TovikMonitor"},
      {"ReadOnlyPackagedProfile",
       L"user",
       dptest::OneDellDisplay,
       nullptr,
       true,
       true,
       {{"account", kOrdinary},
        {"session", "1, the console session"},
        {"user-session launch", directly},
        {"profile",
         "<D>\\edid\\2560x1440x60.hex (distance=0), hex text, 1 block, monitor name "
         "\"TovikMonitor\""},
        {"rewrite", "not possible: the file is read-only; the profile already names TovikMonitor"}},
       true,
       "a run would reach its goal"},
      {"HelperMissing",
       nullptr,
       dptest::OneDellDisplay,
       remove("wkex.exe"),
       false,
       false,
       {{"account", kSystem},
        {"session", "1, the console session"},
        {"user-session launch", kGranted},
        {"helper", "<D>\\wkex.exe: missing"}},
       false,
       "a run would not reach its goal: wkex.exe is missing"},
      {"HelperMissingOnAnArrangedMachine",
       nullptr,
       dptest::ArrangedWithTovik,
       remove("wkex.exe"),
       false,
       false,
       {{"account", kSystem},
        {"session", "1, the console session"},
        {"user-session launch", kGranted},
        {"displays",
         "2 listed: [0] \\\\.\\DISPLAY1 TovikMonitor (2560x1440) at (0,0) [Active] [Primary] "
         "[1] \\\\.\\DISPLAY2 DELL U2720Q (1920x1080) at (2560,0) [Active]"},
        {"a run", "arranges the two displays and makes TovikMonitor primary"},
        {"profile",
         "<D>\\edid\\2560x1440x60.hex (distance=0), hex text, 1 block, monitor name \"DP Virtual\" "
         "(not needed now)"},
        {"rewrite", "possible (not needed now)"},
        {"helper", "<D>\\wkex.exe: missing (not needed now)"}},
       true,
       "a run would reach its goal"},
      {"ProfileAsARegistryExport",
       nullptr,
       dptest::OneDellDisplay,
       profile(dptest::RegistryExport({dptest::GeneratedBlock(2560, 1440, 60)}, true)),
       false,
       false,
       {{"account", kSystem},
        {"session", "1, the console session"},
        {"user-session launch", kGranted},
        {"profile",
         "<D>\\edid\\2560x1440x60.hex (distance=0), a registry export: convert it with "
         "`edidgen import`"}},
       false,
       "a run would not reach its goal: the profile is not an EDID the program reads"},
      {"ProfileWithoutAName",
       nullptr,
       dptest::OneDellDisplay,
       profile(dptest::AsText(
           dptest::WithDescriptor(dptest::GeneratedBlock(2560, 1440, 60), 3, 0xFE, "Panel 14"))),
       false,
       false,
       {{"account", kSystem},
        {"session", "1, the console session"},
        {"user-session launch", kGranted},
        {"profile",
         "<D>\\edid\\2560x1440x60.hex (distance=0), raw, 1 block, no monitor-name "
         "descriptor: `edidgen import` adds one"}},
       false,
       "a run would not reach its goal: the profile cannot carry a monitor name"},
      {"CompanionMissing",
       nullptr,
       dptest::OneDellDisplay,
       remove("rent_protect\\zanbyprotect.exe"),
       false,
       false,
       {{"account", kSystem},
        {"session", "1, the console session"},
        {"user-session launch", kGranted},
        {"companion", "<D>\\rent_protect\\zanbyprotect.exe: missing"}},
       false,
       "a run would not reach its goal: the companion is missing"},
      {"ThreeDisplays",
       nullptr,
       ThreeDisplays,
       nullptr,
       false,
       false,
       {{"account", kSystem},
        {"session", "1, the console session"},
        {"user-session launch", kGranted},
        {"displays",
         "3 listed: [0] \\\\.\\DISPLAY1 DELL P240 (1920x1080) at (0,0) [Active] [Primary] "
         "[1] \\\\.\\DISPLAY2 DELL P241 (1920x1080) at (1920,0) [Active] "
         "[2] \\\\.\\DISPLAY3 DELL P242 (1920x1080) at (3840,0) [Active]"},
        {"a run", "changes nothing: three or more displays are listed"},
        {"profile",
         "<D>\\edid\\2560x1440x60.hex (distance=0), hex text, 1 block, monitor name \"DP Virtual\" "
         "(not needed now)"},
        {"rewrite", "possible (not needed now)"},
        {"helper", "<D>\\wkex.exe: present (not needed now)"}},
       false,
       "a run would not reach its goal: three or more displays are listed"},
  };
}

class CheckRun : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckRun, AnswersAndChangesNothing) {
  const CheckCase& c = GetParam();
  Sandbox box;
  box.DeployOn("displayprep-check-sim.exe", c.machine());
  if (c.packagedProfiles) {
    const edidgen::Result r = edidgen::GenerateEdid({2560, 1440, 60}, "TovikMonitor");
    ASSERT_TRUE(r.ok);
    box.Write("edid\\2560x1440x60.hex", edidgen::FormatHexText(r.block.data(), r.block.size()));
  } else {
    box.WriteProfiles({{2560, 1440, 60}});
  }
  box.WriteSettings(2560, 1440, 60);
  if (c.change) c.change(box);
  if (c.account != nullptr) box.SetEnv(L"DPSIM_ACCOUNT", std::wstring(c.account));
  const std::wstring profile = box.FileW("edid\\2560x1440x60.hex");
  if (c.readOnlyProfiles) {
    ASSERT_TRUE(SetFileAttributesW(profile.c_str(), FILE_ATTRIBUTE_READONLY));
  }
  const std::map<std::string, std::string> before = box.EdidFiles();
  const sim::Machine machineBefore = box.Machine();

  const RunResult r = box.Run("displayprep-check-sim.exe");
  if (c.readOnlyProfiles) SetFileAttributesW(profile.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(r.started) << r.startError;
  EXPECT_EQ(r.exitCode, c.reachesGoal ? 0u : 1u) << r.output;

  std::map<std::string, std::string> want = kTypical;
  for (const auto& [label, text] : c.lines) want[label] = text;
  want["verdict"] = c.verdict;
  const std::map<std::string, std::string> got = ByLabel(r.output);
  for (const auto& [label, text] : want) {
    const std::string expected = dptest::Expand(text, {{"<A>", box.appdata()}, {"<D>", box.dir()}});
    ASSERT_TRUE(got.count(label)) << "no line \"" << label << "\" in:\n" << r.output;
    if (label == "account" || label == "user-session launch") {
      EXPECT_TRUE(std::regex_match(got.at(label), std::regex(expected)))
          << label << ": " << got.at(label) << "\nwanted: " << expected;
    } else {
      EXPECT_EQ(got.at(label), expected) << label;
    }
  }
  EXPECT_EQ(got.size(), want.size()) << r.output;

  // Nothing changed, nothing started, nothing logged.
  EXPECT_TRUE(box.EdidFiles() == before) << "a profile was changed";
  const sim::Machine after = box.Machine();
  EXPECT_EQ(sim::RenderDesktop(after), sim::RenderDesktop(machineBefore));
  EXPECT_EQ(after.CallCount(sim::Api::SetDisplayConfig), 0u);
  EXPECT_TRUE(box.HelperStarts().empty());
  EXPECT_TRUE(box.CompanionStarts().empty());
  EXPECT_EQ(r.processesStarted, 1u);
  EXPECT_EQ(GetFileAttributesA((box.appdata() + "\\harnfold\\log").c_str()),
            INVALID_FILE_ATTRIBUTES)
      << "the check made the log folder";
}

INSTANTIATE_TEST_SUITE_P(Cases, CheckRun, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// The check never works out the log's path the way a run does, so it leaves
// no trace line either (runs alone: tests/CMakeLists.txt).
TEST(TraceFile, TheCheckLeavesNoTraceLine) {
  const std::string before = ReadFileBytes("c:\\dp.log");
  Sandbox box;
  box.Install("displayprep-check-sim.exe");
  box.UseMachine(dptest::OneDellDisplay());
  const RunResult r = box.Run("displayprep-check-sim.exe");
  ASSERT_TRUE(r.started);
  EXPECT_THAT(r.output, ::testing::HasSubstr("verdict: "));
  EXPECT_EQ(ReadFileBytes("c:\\dp.log"), before);
}

}  // namespace
