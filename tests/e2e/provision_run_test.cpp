// The program's main job end to end: displayprep-sim.exe in a deployment of
// its own with an edid folder, the simulated helper wkex.exe and store.dat,
// judged by its log, the files it leaves, the helper's recorded start and the
// simulated machine afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/sandbox.h"
#include "support/sim_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using dptest::Profile;
using dptest::Sandbox;
using Profiles = std::vector<Profile>;
using Texts = std::vector<std::string>;

const std::vector<Profile> kProfiles = {{1920, 1080, 60},
                                        {2560, 1440, 60},
                                        {3840, 2160, 60},
                                        {2560, 1440, 144, true},
                                        {1280, 720, 60, true}};

TEST(ProvisionRun, TypicalRunOnOnePhysicalDisplay) {
  Sandbox box;
  box.DeployTypicalRun({.profiles = kProfiles});
  const std::map<std::string, std::string> before = box.EdidFiles();

  const std::string log = box.RunForLog();

  // The directory search decides the order of the candidates (lines 4 to 8);
  // everything else is fixed.
  const Texts found = {
      "Found file: 1920x1080x60.hex --> w=1920, h=1080, fps=60, distance=539200",
      "Found file: 2560x1440x60.hex --> w=2560, h=1440, fps=60, distance=0",
      "Found file: 3840x2160x60.hex --> w=3840, h=2160, fps=60, distance=2156800",
      "Found file: 2560x1440x144.hex --> w=2560, h=1440, fps=144, distance=7056",
      "Found file: 1280x720x60.hex --> w=1280, h=720, fps=60, distance=2156800",
  };
  const Texts lines = dptest::Lines(log);
  ASSERT_GE(lines.size(), 3 + found.size()) << log;
  const Texts seen(lines.begin() + 3, lines.begin() + 3 + found.size());
  EXPECT_THAT(seen, ::testing::UnorderedElementsAreArray(found)) << log;
  std::string seenText;
  for (const std::string& line : seen) seenText += line + "\n";
  // Then the companion, in the console user's session; the message has no line end.
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  const std::string typical =
      dptest::Expand(dptest::kTypicalProvision, {{found[1] + "\n", seenText}});
  EXPECT_EQ(log, box.Expand(typical + dptest::kTypicalArrangement + dptest::kCompanionInUserSession,
                            {{"<PID>", std::to_string(companion[0].processId)}}));

  // The desktop afterwards: the virtual monitor primary at its own mode, the
  // physical display to its right, the layout saved once.
  const sim::Machine after = box.Machine();
  ASSERT_EQ(after.paths.size(), 2u) << sim::RenderDesktop(after);
  EXPECT_EQ(dptest::Layout(after), dptest::kTypicalLayout) << sim::RenderDesktop(after);
  EXPECT_EQ(after.databaseSaves, 1u);
  EXPECT_EQ(
      dptest::SetCallFlags(after),
      (std::vector<UINT32>{dptest::kSdcExtend, dptest::kSdcExtend, dptest::kSdcSuppliedSaved}));

  // The helper: started once, exactly so, in the program's own directory.
  const std::vector<sim::StartRecord> starts = box.HelperStarts();
  ASSERT_EQ(starts.size(), 1u);
  box.ExpectHelperStart(starts[0], "<D>\\wkex.exe /d <P>");
  EXPECT_EQ(starts[0].arguments, Texts({box.dir() + "\\wkex.exe", "/d", box.Expand("<P>")}));

  // Only the chosen profile changed: now raw, named TovikMonitor, sound.
  std::map<std::string, std::string> files = box.EdidFiles();
  const std::string rewritten = files["2560x1440x60.hex"];
  EXPECT_EQ(dptest::NotRewritten(rewritten, {2560, 1440, 60}), "");
  std::map<std::string, std::string> untouched = before;
  for (auto* profiles : {&files, &untouched}) profiles->erase("2560x1440x60.hex");
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
  bool profilesUntouched;
  std::string helperCommandLine;  // empty: the helper is not started
  std::string layoutAfter = "";   // dptest::Layout afterwards, when checked
};

const std::string kFiveAttemptsAbort =
    "Available displays (retry 5):\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
    "only 1 display.\n[Info] Force Extend mode success.\n"
    "ERROR: After 5 retries, still detected inactive displays, abort.\n";

std::vector<OtherRun> OtherRunCases() {
  const Profiles one = {{2560, 1440, 60}};
  // The query of attempt 2 (the third listing of the run) meets the virtual
  // monitor coming up and answers ERROR_INSUFFICIENT_BUFFER once.
  sim::Machine meetsAChange = dptest::OneDellDisplay();
  meetsAChange.faults = {{sim::Api::QueryDisplayConfig, 3, ERROR_INSUFFICIENT_BUFFER}};
  return {
      {"HelperAddsNothing", "", dptest::OneDellDisplay(), one, L"never",
       Texts{"wkex.exe launched successfully from <D>\\wkex.exe\nAvailable displays (retry 1):\n",
             kFiveAttemptsAbort},
       Texts{"Final available displays"}, false, "<D>\\wkex.exe /d <P>"},
      {"DirectoryWithASpace", "my tools", dptest::OneDellDisplay(), one, L"clone",
       Texts{"Searching in directory: <D>\\edid\n", "Selected hex file: <P>\n",
             "Launching wkex.exe with command: \"<D>\\wkex.exe\" /d \"<P>\"\n"
             "wkex.exe launched successfully from <D>\\wkex.exe\n",
             "Primary display successfully set to \"TovikMonitor\"\n"},
       Texts{}, false, "\"<D>\\wkex.exe\" /d \"<P>\""},
      {"QueryMeetsTheVirtualMonitorComingUp", "", meetsAChange, one, L"clone",
       Texts{"Available displays (retry 2):\n", "is clone mode, forcing to Extend mode...\n",
             "Primary display successfully set to \"TovikMonitor\"\n"},
       Texts{"Failed to query display config.", "EnumerateDisplays failed."}, false,
       "<D>\\wkex.exe /d <P>", dptest::kTypicalLayout},
      {"TwoDisplaysAtStart", "", dptest::ArrangedWithTovik(),
       Profiles{{2560, 1440, 60}, {1920, 1080, 60, true}}, L"clone",
       Texts{"Available displays (retry 1):\n",
             "Target display \"TovikMonitor\" is already primary, no change.\n"},
       Texts{"Reading config file", "File does not exist", "Searching in directory", "wkex"}, true,
       ""},
      {"NoDisplayAtAll", "", sim::Machine{}, one, L"never",
       Texts{"No displays detected.\nEnumerateDisplays failed.\nReading config file: ",
             "Selected hex file: <P>\n",
             "wkex.exe launched successfully from <D>\\wkex.exe\n"
             "No displays detected.\nEnumerateDisplays failed.\n"},
       Texts{"Available displays"}, false, "<D>\\wkex.exe /d <P>"},
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

  const std::string log = box.RunForLog();
  EXPECT_TRUE(box.InOrder(log, c.inOrder));
  for (const std::string& f : c.absent) EXPECT_THAT(log, Not(HasSubstr(f))) << f << "\n" << log;

  const std::vector<sim::StartRecord> starts = box.HelperStarts();
  ASSERT_EQ(starts.size(), c.helperCommandLine.empty() ? 0u : 1u);
  if (!starts.empty()) box.ExpectHelperStart(starts[0], c.helperCommandLine);
  if (!c.layoutAfter.empty()) {
    EXPECT_EQ(dptest::Layout(box.Machine()), c.layoutAfter) << sim::RenderDesktop(box.Machine());
  }
  const std::map<std::string, std::string> after = box.EdidFiles();
  if (c.profilesUntouched) {
    EXPECT_TRUE(after == before) << "an EDID file was changed";
  } else {
    EXPECT_EQ(dptest::NotRewritten(after.at("2560x1440x60.hex"), {2560, 1440, 60}), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Runs, OtherRuns, ::testing::ValuesIn(OtherRunCases()), dptest::ByName);

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

  EXPECT_TRUE(box.InOrder(
      box.RunForLog(),
      {"Searching in directory: <D>\\edid\n", "Selected hex file: <P>\n",
       "Launching wkex.exe with command: <D>\\wkex.exe /d <P>\n"
       "wkex.exe launched successfully from <D>\\wkex.exe\n",
       "Primary display successfully set to \"TovikMonitor\"\n", "create user process failed. \n",
       "protect.exe launched successfully from <C>\n"}));
  // Both started in the drive's root, not in the run's own directory.
  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), 1u);
  EXPECT_EQ(helper[0].currentDirectory, d + "\\");
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  EXPECT_EQ(companion[0].currentDirectory, d + "\\");
}

}  // namespace
