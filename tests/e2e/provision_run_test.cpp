// The program's main job end to end: displayprep-sim.exe in a deployment of
// its own with an edid folder, the simulated helper wkex.exe and store.dat,
// judged by its log, the files it leaves, the helper's recorded start and the
// simulated machine afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "sim/virtual_edid.h"
#include "support/sandbox.h"
#include "support/sim_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using dptest::Profile;
using dptest::Sandbox;
using Profiles = std::vector<Profile>;
using Texts = std::vector<std::string>;

// The query of attempt 2 (the third listing of the run) meets the virtual
// monitor coming up and answers ERROR_INSUFFICIENT_BUFFER once.
sim::Machine OneDisplayWhoseSecondAttemptMeetsAChange() {
  sim::Machine m = dptest::OneDellDisplay();
  m.faults = {{sim::Api::QueryDisplayConfig, 3, ERROR_INSUFFICIENT_BUFFER}};
  return m;
}

const std::vector<Profile> kProfiles = {{1920, 1080, 60},
                                        {2560, 1440, 60},
                                        {3840, 2160, 60},
                                        {2560, 1440, 144, true},
                                        {1280, 720, 60, true}};

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// A run of the deployment, judged by its log, which it hands back.
std::string RunAndLog(Sandbox& box) {
  const RunResult r = box.Run("displayprep-sim.exe");
  EXPECT_TRUE(dptest::Ended(r));
  const std::string log = box.Log();
  // The console carries the same messages (the helper may add its own
  // complaints on standard error).
  EXPECT_THAT(dptest::StripLogPrefixes(r.output), HasSubstr(log)) << "console:\n"
                                                                  << r.output << "\nlog:\n"
                                                                  << log;
  return log;
}

TEST(ProvisionRun, TypicalRunOnOnePhysicalDisplay) {
  Sandbox box;
  box.DeployTypicalRun({.profiles = kProfiles});
  const std::map<std::string, std::string> before = box.EdidFiles();

  const std::string log = RunAndLog(box);

  const std::string d = box.dir();
  const std::string edidDir = d + "\\edid";
  const std::string chosen = edidDir + "\\2560x1440x60.hex";
  const std::vector<std::string> found = {
      "Found file: 1920x1080x60.hex --> w=1920, h=1080, fps=60, distance=539200",
      "Found file: 2560x1440x60.hex --> w=2560, h=1440, fps=60, distance=0",
      "Found file: 3840x2160x60.hex --> w=3840, h=2160, fps=60, distance=2156800",
      "Found file: 2560x1440x144.hex --> w=2560, h=1440, fps=144, distance=7056",
      "Found file: 1280x720x60.hex --> w=1280, h=720, fps=60, distance=2156800",
  };
  std::vector<std::string> lines = dptest::Lines(log);
  // The directory search decides the order of the candidates; everything
  // else is fixed.
  ASSERT_GE(lines.size(), 3 + found.size()) << log;
  std::vector<std::string> seen(lines.begin() + 3, lines.begin() + 3 + found.size());
  std::vector<std::string> sortedSeen = seen, sortedFound = found;
  std::sort(sortedSeen.begin(), sortedSeen.end());
  std::sort(sortedFound.begin(), sortedFound.end());
  EXPECT_EQ(sortedSeen, sortedFound) << log;

  std::vector<std::string> want = {
      "Reading config file: " + box.appdata() + "\\harnfold\\store.dat",
      "Target config: width=2560, height=1440, fps=60",
      "Searching in directory: " + edidDir,
  };
  want.insert(want.end(), seen.begin(), seen.end());
  const std::vector<std::string> rest = {
      "",
      "Closest file: 2560x1440x60.hex (distance=0)",
      "Selected hex file: " + chosen,
      "edid's monitor name is DP Virtual.",
      "edid's monitor name change to TovikMonitor.",
      "Successfully changed EDID monitor name in file: " + chosen,
      "Launching wkex.exe with command: " + d + "\\wkex.exe /d " + chosen,
      "wkex.exe launched successfully from " + d + "\\wkex.exe",
  };
  want.insert(want.end(), rest.begin(), rest.end());
  // Then the companion, in the console user's session; the message has no line end.
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  EXPECT_EQ(log,
            Joined(want) + box.Expand(dptest::kTypicalArrangement + dptest::kCompanionInUserSession,
                                      {{"<PID>", std::to_string(companion[0].processId)}}));

  // The desktop afterwards: the virtual monitor primary at its own mode, the
  // physical display to its right, the layout saved once.
  const sim::Machine after = box.Machine();
  ASSERT_EQ(after.paths.size(), 2u) << sim::RenderDesktop(after);
  EXPECT_EQ(dptest::Layout(after), dptest::kTypicalLayout) << sim::RenderDesktop(after);
  EXPECT_EQ(after.databaseSaves, 1u);
  ASSERT_EQ(after.setCalls.size(), 3u);
  EXPECT_EQ(after.setCalls[0].flags, dptest::kSdcExtend);
  EXPECT_EQ(after.setCalls[1].flags, dptest::kSdcExtend);
  EXPECT_EQ(after.setCalls[2].flags, dptest::kSdcSuppliedSaved);

  // The helper: started once, exactly so, in the program's own directory.
  const std::vector<sim::StartRecord> starts = box.HelperStarts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].commandLine, d + "\\wkex.exe /d " + chosen);
  EXPECT_EQ(starts[0].arguments, (std::vector<std::string>{d + "\\wkex.exe", "/d", chosen}));
  EXPECT_EQ(starts[0].currentDirectory, d);

  // Only the chosen profile changed: now raw, named TovikMonitor, sound.
  std::map<std::string, std::string> files = box.EdidFiles();
  const std::string rewritten = files["2560x1440x60.hex"];
  ASSERT_EQ(rewritten.size(), 128u);
  sim::VirtualDisplaySpec shown;
  std::string why;
  EXPECT_TRUE(sim::ParseVirtualDisplayEdid(std::vector<uint8_t>(rewritten.begin(), rewritten.end()),
                                           &shown, &why))
      << why;
  EXPECT_EQ(shown.name, "TovikMonitor");
  EXPECT_EQ(std::make_tuple(shown.width, shown.height, shown.refreshHz),
            std::make_tuple(2560u, 1440u, 60u));
  files.erase("2560x1440x60.hex");
  std::map<std::string, std::string> untouched = before;
  untouched.erase("2560x1440x60.hex");
  EXPECT_TRUE(files == untouched) << "another profile was changed";

  // edid-decode, a Linux program, checks the file after this test (see CMakeLists.txt).
  EXPECT_TRUE(dptest::LeaveForEdidDecode("DP_E2E_EDID_DIR", "typical-run.bin", rewritten));
}

// Runs that leave the typical path, each judged by the log's key lines in
// order, what must not be logged, the helper's starts and the EDID files.
// No companion stands beside the program in these.
struct OtherRun {
  const char* name;
  const char* deployment;  // below the sandbox; may hold a space
  sim::Machine machine;
  Profiles profiles;
  const wchar_t* helperAs;  // WKEX_AS
  // In the log, in order (placeholders: support/text.h).
  Texts inOrder;
  Texts absent;
  std::size_t helperStarts = 0;
  bool profilesUntouched = false;
  std::string helperCommandLine;  // checked when started
  std::string layoutAfter = "";   // dptest::Layout afterwards, when checked
};

const std::string kFiveAttemptsAbort =
    "Available displays (retry 5):\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
    "only 1 display.\n[Info] Force Extend mode success.\n"
    "ERROR: After 5 retries, still detected inactive displays, abort.\n";

std::vector<OtherRun> OtherRunCases() {
  const Profiles one = {{2560, 1440, 60}};
  return {
      {"HelperAddsNothing", "", dptest::OneDellDisplay(), one, L"never",
       Texts{"wkex.exe launched successfully from <D>\\wkex.exe\nAvailable displays (retry 1):\n",
             kFiveAttemptsAbort},
       Texts{"Final available displays"}, 1, false, "<D>\\wkex.exe /d <P>"},
      {"DirectoryWithASpace", "my tools", dptest::OneDellDisplay(), one, L"clone",
       Texts{"Searching in directory: <D>\\edid\n", "Selected hex file: <P>\n",
             "Launching wkex.exe with command: \"<D>\\wkex.exe\" /d \"<P>\"\n"
             "wkex.exe launched successfully from <D>\\wkex.exe\n",
             "Primary display successfully set to \"TovikMonitor\"\n"},
       Texts{}, 1, false, "\"<D>\\wkex.exe\" /d \"<P>\""},
      {"QueryMeetsTheVirtualMonitorComingUp", "", OneDisplayWhoseSecondAttemptMeetsAChange(), one,
       L"clone",
       Texts{"Available displays (retry 2):\n", "is clone mode, forcing to Extend mode...\n",
             "Primary display successfully set to \"TovikMonitor\"\n"},
       Texts{"Failed to query display config.", "EnumerateDisplays failed."}, 1, false,
       "<D>\\wkex.exe /d <P>", dptest::kTypicalLayout},
      {"TwoDisplaysAtStart", "", dptest::ArrangedWithTovik(),
       Profiles{{2560, 1440, 60}, {1920, 1080, 60, true}}, L"clone",
       Texts{"Available displays (retry 1):\n",
             "Target display \"TovikMonitor\" is already primary, no change.\n"},
       Texts{"Reading config file", "File does not exist", "Searching in directory", "wkex"}, 0,
       true, ""},
      {"NoDisplayAtAll", "", sim::Machine{}, one, L"never",
       Texts{"No displays detected.\nEnumerateDisplays failed.\nReading config file: ",
             "Selected hex file: <P>\n",
             "wkex.exe launched successfully from <D>\\wkex.exe\n"
             "No displays detected.\nEnumerateDisplays failed.\n"},
       Texts{"Available displays"}, 1, false, "<D>\\wkex.exe /d <P>"},
  };
}

class OtherRuns : public ::testing::TestWithParam<OtherRun> {};

TEST_P(OtherRuns, LogFilesAndHelper) {
  const OtherRun& c = GetParam();
  Sandbox box(c.deployment);
  box.DeployTypicalRun({.machine = c.machine, .profiles = c.profiles, .companion = false});
  box.SetEnv(L"WKEX_AS", c.helperAs);
  box.ProbeWhatStartsInherit();
  const std::map<std::string, std::string> before = box.EdidFiles();

  const std::string log = RunAndLog(box);

  std::vector<std::string> inOrder;
  for (const std::string& f : c.inOrder) inOrder.push_back(box.Expand(f));
  EXPECT_TRUE(dptest::InOrder(log, inOrder));
  for (const std::string& f : c.absent) EXPECT_THAT(log, Not(HasSubstr(f))) << f << "\n" << log;

  const std::vector<sim::StartRecord> starts = box.HelperStarts();
  ASSERT_EQ(starts.size(), c.helperStarts);
  if (!starts.empty()) {
    EXPECT_EQ(starts[0].commandLine, box.Expand(c.helperCommandLine));
    EXPECT_EQ(starts[0].currentDirectory, box.dir());
    // Nothing but its size in the start-up record, the program's console,
    // none of the program's handles.
    EXPECT_EQ(starts[0].startupFlags, 0ul);
    EXPECT_EQ(starts[0].showWindow, 0u);
    EXPECT_TRUE(starts[0].hasConsole) << "started detached or without a console";
    EXPECT_FALSE(starts[0].inheritedProbeHandle) << "started with the program's handles";
  }
  if (!c.layoutAfter.empty()) {
    EXPECT_EQ(dptest::Layout(box.Machine()), c.layoutAfter) << sim::RenderDesktop(box.Machine());
  }
  const std::map<std::string, std::string> after = box.EdidFiles();
  if (c.profilesUntouched) {
    EXPECT_TRUE(after == before) << "an EDID file was changed";
  } else {
    EXPECT_EQ(after.at("2560x1440x60.hex").size(), 128u) << "the chosen profile is rewritten raw";
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, OtherRuns, ::testing::ValuesIn(OtherRunCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Run only through the CTest fixture that maps the drive (tests/e2e/CMakeLists.txt).
TEST(DriveRoot, DeploymentAtTheRootOfADrive) {
  const char* drive = std::getenv("DP_TEST_ROOT_DRIVE");
  ASSERT_NE(drive, nullptr) << "run through ctest: DP_TEST_ROOT_DRIVE names the mapped drive";
  const std::string d = drive;  // "R:", the executable directory as the program sees it
  Sandbox box = Sandbox::At(d);
  box.DeployTypicalRun();
  // An ordinary account: the companion goes through the direct start too.
  box.SetEnv(L"DPSIM_ACCOUNT", L"user");
  // The run itself starts elsewhere on the same drive, as a task would in
  // the system folder: "R:" alone would name this directory.
  ASSERT_TRUE(CreateDirectoryA((d + "\\work").c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  box.SetWorkingDirectory(d + "\\work");

  const RunResult r = box.Run("displayprep-sim.exe");
  ASSERT_TRUE(dptest::Ended(r));
  EXPECT_TRUE(dptest::InOrder(
      box.Log(),
      {box.Expand("Searching in directory: <D>\\edid\n"), box.Expand("Selected hex file: <P>\n"),
       box.Expand("Launching wkex.exe with command: <D>\\wkex.exe /d <P>\n"
                  "wkex.exe launched successfully from <D>\\wkex.exe\n"),
       "Primary display successfully set to \"TovikMonitor\"\n", "create user process failed. \n",
       box.Expand("protect.exe launched successfully from <C>\n")}));
  // Both started in the drive's root, not in the run's own directory.
  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), 1u);
  EXPECT_EQ(helper[0].currentDirectory, d + "\\");
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  EXPECT_EQ(companion[0].currentDirectory, d + "\\");
}

}  // namespace
