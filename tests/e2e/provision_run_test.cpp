// The program's main job end to end: displayprep-sim.exe in a deployment of
// its own with an edid folder, the simulated helper wkex.exe and store.dat,
// judged by its log, the files it leaves, the helper's recorded start and the
// simulated machine afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "edidgen.h"
#include "sandbox.h"
#include "sim/virtual_edid.h"
#include "support/log_capture.h"
#include "support/sim_fixture.h"
#include "support/text.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using dptest::Link;
using dptest::Monitor;
using dptest::Shown;

constexpr uint32_t kDell = 0x1100;

sim::Machine OnePhysicalDisplay() {
  sim::Machine m;
  m.targets = {Monitor(kDell, "DELL U2720Q")};
  m.sources = {Shown(0, 1920, 1080, 0, 0)};
  m.paths = {Link(0, kDell)};
  return m;
}

// The query of attempt 2 (the third listing of the run) meets the virtual
// monitor coming up and answers ERROR_INSUFFICIENT_BUFFER once.
sim::Machine OneDisplayWhoseSecondAttemptMeetsAChange() {
  sim::Machine m = OnePhysicalDisplay();
  m.faults = {{sim::Api::QueryDisplayConfig, 3, ERROR_INSUFFICIENT_BUFFER}};
  return m;
}

sim::Machine PhysicalAndVirtual() {
  sim::Machine m;
  m.targets = {Monitor(kDell, "DELL U2720Q"), Monitor(kDell + 1, "TovikMonitor", 2560, 1440)};
  m.sources = {Shown(0, 2560, 1440, 0, 0), Shown(1, 1920, 1080, 2560, 0)};
  m.paths = {Link(0, kDell + 1), Link(1, kDell)};
  return m;
}

const std::vector<Profile> kProfiles = {{1920, 1080, 60},
                                        {2560, 1440, 60},
                                        {3840, 2160, 60},
                                        {2560, 1440, 144, true},
                                        {1280, 720, 60, true}};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

// Where `fragments` stand in `text`, in this order; the first one missing or
// out of order is reported.
::testing::AssertionResult InOrder(const std::string& text,
                                   const std::vector<std::string>& fragments) {
  std::size_t at = 0;
  for (const std::string& f : fragments) {
    const std::size_t found = text.find(f, at);
    if (found == std::string::npos) {
      return ::testing::AssertionFailure()
             << "missing (or out of order): \"" << f << "\"\nin the log:\n"
             << text;
    }
    at = found + f.size();
  }
  return ::testing::AssertionSuccess();
}

class ProvisionRun : public ::testing::Test {
 protected:
  // The helper is tied to the program's first topology request instead of
  // the clock, so that what attempt 1 and attempt 2 see never depends on how
  // busy the machine is.
  void Deploy(Sandbox& box, bool withHelper = true) {
    box.Install("displayprep-sim.exe");
    if (withHelper) box.Install("wkex.exe");
    box.SetEnv(L"WKEX_AFTER", L"SetDisplayConfig:1");
  }

  std::string RunAndLog(Sandbox& box) {
    const RunResult r = box.Run("displayprep-sim.exe");
    EXPECT_TRUE(r.started) << "error " << r.startError;
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    const std::string log = dptest::StripLogPrefixes(dptest::ReadFileBytes(box.LogFile()));
    // The console carries the same messages (the helper may add its own
    // complaints on standard error).
    EXPECT_THAT(dptest::StripLogPrefixes(r.output), HasSubstr(log)) << "console:\n"
                                                                    << r.output << "\nlog:\n"
                                                                    << log;
    return log;
  }
};

TEST_F(ProvisionRun, TypicalRunOnOnePhysicalDisplay) {
  Sandbox box;
  Deploy(box);
  box.InstallCompanion();
  box.UseMachine(OnePhysicalDisplay());
  box.WriteProfiles(kProfiles);
  box.WriteSettings(2560, 1440, 60);
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
  std::vector<std::string> lines = Lines(log);
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
      "Available displays (retry 1):",
      "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]",
      "only 1 display.",
      "[Info] Force Extend mode success.",
      "Available displays (retry 2):",
      "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]",
      "[1] \\\\.\\DISPLAY1 TovikMonitor (1920x1080) [Active] [Primary]",
      "is clone mode, forcing to Extend mode...",
      "[Info] Force Extend mode success.",
      "Final available displays:",
      "[0] \\\\.\\DISPLAY1 DELL U2720Q (0,0)(1920x1080) [Active] [Primary]",
      "[1] \\\\.\\DISPLAY1 TovikMonitor (0,0)(1920x1080) [Active] [Primary]",
      "Switching primary display to \"TovikMonitor\"...",
      "Primary display successfully set to index: 1",
      "Primary display successfully set to \"TovikMonitor\"",
  };
  want.insert(want.end(), rest.begin(), rest.end());
  // Then the companion, in the console user's session; the message has no line end.
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  EXPECT_EQ(log, Joined(want) + "create process success, command_line:" + box.Companion() +
                     ", process_id:" + std::to_string(companion[0].processId) + ".");

  // The desktop afterwards: the virtual monitor primary at its own mode, the
  // physical display to its right, the layout saved once.
  const sim::Machine after = box.Machine();
  const std::string picture = sim::RenderDesktop(after);
  ASSERT_EQ(after.paths.size(), 2u) << picture;
  const sim::Target* tovik = nullptr;
  for (const sim::Target& t : after.targets)
    if (t.name == "TovikMonitor") tovik = &t;
  ASSERT_NE(tovik, nullptr) << picture;
  for (const sim::Path& p : after.paths) {
    const sim::SourceMode mode = *sim::FindSource(after, p.sourceId)->mode;
    if (p.targetId == tovik->id) {
      EXPECT_EQ(std::make_tuple(mode.x, mode.y, mode.width, mode.height),
                std::make_tuple(0, 0, 2560u, 1440u))
          << picture;
    } else {
      EXPECT_EQ(p.targetId, kDell);
      EXPECT_EQ(std::make_tuple(mode.x, mode.y), std::make_tuple(2560, 0)) << picture;
    }
  }
  EXPECT_EQ(after.databaseSaves, 1u);
  ASSERT_EQ(after.setCalls.size(), 3u);
  EXPECT_EQ(after.setCalls[0].flags, 0x84u);
  EXPECT_EQ(after.setCalls[1].flags, 0x84u);
  EXPECT_EQ(after.setCalls[2].flags, 0x2A0u);

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
  if (const char* out = std::getenv("DP_E2E_EDID_DIR")) {
    std::filesystem::create_directories(out);
    ASSERT_TRUE(dptest::WriteFileBytes(std::string(out) + "\\typical-run.bin", rewritten));
    ASSERT_TRUE(dptest::WriteFileBytes(std::string(out) + "\\manifest.txt", "typical-run.bin\n"));
  }
}

// Runs that leave the typical path, each judged by the log's key lines in
// order, what must not be logged, the helper's starts and the EDID files.
struct OtherRun {
  const char* name;
  const char* deployment;  // below the sandbox; may hold a space
  sim::Machine machine;
  std::vector<Profile> profiles;
  std::vector<std::string> otherFiles;  // extra names in the edid folder
  bool helper = true;
  const wchar_t* helperAs = L"clone";
  // In the log, in order; "<D>" stands for the deployment directory.
  std::vector<std::string> inOrder;
  std::vector<std::string> absent;
  std::size_t helperStarts = 0;
  bool profilesUntouched = false;
  std::string helperCommandLine;    // checked when started; "<D>" as above
  bool virtualEndsPrimary = false;  // the simulated desktop has TovikMonitor at (0,0)
};

std::string Expand(const std::string& text, const std::string& d) {
  return dptest::Expand(text, {{"<D>", d}});
}

const std::string kFiveAttemptsAbort =
    "Available displays (retry 5):\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
    "only 1 display.\n[Info] Force Extend mode success.\n"
    "ERROR: After 5 retries, still detected inactive displays, abort.\n";

std::vector<OtherRun> OtherRunCases() {
  return {
      {"HelperAddsNothing",
       "",
       OnePhysicalDisplay(),
       {{2560, 1440, 60}},
       {},
       true,
       L"never",
       {"wkex.exe launched successfully from <D>\\wkex.exe\nAvailable displays (retry 1):\n",
        kFiveAttemptsAbort},
       {"Final available displays"},
       1,
       false,
       "<D>\\wkex.exe /d <D>\\edid\\2560x1440x60.hex"},
      {"DirectoryWithASpace",
       "my tools",
       OnePhysicalDisplay(),
       {{2560, 1440, 60}},
       {},
       true,
       L"clone",
       {"Searching in directory: <D>\\edid\n", "Selected hex file: <D>\\edid\\2560x1440x60.hex\n",
        "Launching wkex.exe with command: \"<D>\\wkex.exe\" /d \"<D>\\edid\\2560x1440x60.hex\"\n"
        "wkex.exe launched successfully from <D>\\wkex.exe\n",
        "Primary display successfully set to \"TovikMonitor\"\n"},
       {},
       1,
       false,
       "\"<D>\\wkex.exe\" /d \"<D>\\edid\\2560x1440x60.hex\""},
      {"QueryMeetsTheVirtualMonitorComingUp",
       "",
       OneDisplayWhoseSecondAttemptMeetsAChange(),
       {{2560, 1440, 60}},
       {},
       true,
       L"clone",
       {"Available displays (retry 2):\n", "is clone mode, forcing to Extend mode...\n",
        "Primary display successfully set to \"TovikMonitor\"\n"},
       {"Failed to query display config.", "EnumerateDisplays failed."},
       1,
       false,
       "<D>\\wkex.exe /d <D>\\edid\\2560x1440x60.hex",
       true},
      {"TwoDisplaysAtStart",
       "",
       PhysicalAndVirtual(),
       {{2560, 1440, 60}, {1920, 1080, 60, true}},
       {},
       true,
       L"clone",
       {"Available displays (retry 1):\n",
        "Target display \"TovikMonitor\" is already primary, no change.\n"},
       {"Reading config file", "File does not exist", "Searching in directory", "wkex"},
       0,
       true,
       ""},
      {"NoDisplayAtAll",
       "",
       sim::Machine{},
       {{2560, 1440, 60}},
       {},
       true,
       L"never",
       {"No displays detected.\nEnumerateDisplays failed.\nReading config file: ",
        "Selected hex file: <D>\\edid\\2560x1440x60.hex\n",
        "wkex.exe launched successfully from <D>\\wkex.exe\n"
        "No displays detected.\nEnumerateDisplays failed.\n"},
       {"Available displays"},
       1,
       false,
       "<D>\\wkex.exe /d <D>\\edid\\2560x1440x60.hex"},
  };
}

class OtherRuns : public ProvisionRun, public ::testing::WithParamInterface<OtherRun> {};

TEST_P(OtherRuns, LogFilesAndHelper) {
  const OtherRun& c = GetParam();
  Sandbox box(c.deployment);
  Deploy(box, c.helper);
  box.SetEnv(L"WKEX_AS", c.helperAs);
  box.ProbeWhatStartsInherit();
  box.UseMachine(c.machine);
  box.WriteProfiles(c.profiles);
  for (const std::string& name : c.otherFiles) {
    const edidgen::Result r = edidgen::GenerateEdid({1920, 1080, 60}, "DP Virtual");
    ASSERT_TRUE(dptest::WriteFileBytes(box.File("edid\\" + name),
                                       std::string(r.block.begin(), r.block.end())));
  }
  box.WriteSettings(2560, 1440, 60);
  const std::map<std::string, std::string> before = box.EdidFiles();

  const std::string log = RunAndLog(box);

  const std::string d = box.dir();
  std::vector<std::string> inOrder;
  for (const std::string& f : c.inOrder) inOrder.push_back(Expand(f, d));
  EXPECT_TRUE(InOrder(log, inOrder));
  for (const std::string& f : c.absent) EXPECT_THAT(log, Not(HasSubstr(f))) << f << "\n" << log;

  const std::vector<sim::StartRecord> starts = box.HelperStarts();
  ASSERT_EQ(starts.size(), c.helperStarts);
  if (!starts.empty()) {
    EXPECT_EQ(starts[0].commandLine, Expand(c.helperCommandLine, d));
    EXPECT_EQ(starts[0].currentDirectory, d);
    // Nothing but its size in the start-up record, the program's console,
    // none of the program's handles.
    EXPECT_EQ(starts[0].startupFlags, 0ul);
    EXPECT_EQ(starts[0].showWindow, 0u);
    EXPECT_TRUE(starts[0].hasConsole) << "started detached or without a console";
    EXPECT_FALSE(starts[0].inheritedProbeHandle) << "started with the program's handles";
  }
  if (c.virtualEndsPrimary) {
    const sim::Machine machine = box.Machine();
    const auto primary = sim::PrimarySourceId(machine);
    ASSERT_TRUE(primary.has_value()) << sim::RenderDesktop(machine);
    std::vector<std::string> atOrigin;
    for (const sim::Path& p : machine.paths)
      if (p.sourceId == *primary)
        for (const sim::Target& t : machine.targets)
          if (t.id == p.targetId) atOrigin.push_back(t.name);
    EXPECT_EQ(atOrigin, std::vector<std::string>{"TovikMonitor"}) << sim::RenderDesktop(machine);
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

}  // namespace

namespace {

// Run only through the CTest fixture that maps the drive (tests/e2e/CMakeLists.txt).
TEST(DriveRoot, DeploymentAtTheRootOfADrive) {
  const char* drive = std::getenv("DP_TEST_ROOT_DRIVE");
  ASSERT_NE(drive, nullptr) << "run through ctest: DP_TEST_ROOT_DRIVE names the mapped drive";
  const std::string d = drive;  // "R:", the executable directory as the program sees it
  Sandbox box = Sandbox::At(d);
  box.Install("displayprep-sim.exe");
  box.Install("wkex.exe");
  box.InstallCompanion();
  box.SetEnv(L"WKEX_AFTER", L"SetDisplayConfig:1");
  // An ordinary account: the companion goes through the direct start too.
  box.SetEnv(L"DPSIM_ACCOUNT", L"user");
  box.UseMachine(OnePhysicalDisplay());
  box.WriteProfiles({{2560, 1440, 60}, {1920, 1080, 60, true}});
  box.WriteSettings(2560, 1440, 60);
  // The run itself starts elsewhere on the same drive, as a task would in
  // the system folder: "R:" alone would name this directory.
  ASSERT_TRUE(CreateDirectoryA((d + "\\work").c_str(), nullptr) ||
              GetLastError() == ERROR_ALREADY_EXISTS);
  box.SetWorkingDirectory(d + "\\work");

  const RunResult r = box.Run("displayprep-sim.exe");
  ASSERT_TRUE(r.started) << r.startError;
  EXPECT_EQ(r.exitCode, 0u);
  const std::string log = dptest::StripLogPrefixes(dptest::ReadFileBytes(box.LogFile()));
  EXPECT_TRUE(InOrder(
      log,
      {"Searching in directory: " + d + "\\edid\n",
       "Selected hex file: " + d + "\\edid\\2560x1440x60.hex\n",
       "Launching wkex.exe with command: " + d + "\\wkex.exe /d " + d +
           "\\edid\\2560x1440x60.hex\n"
           "wkex.exe launched successfully from " +
           d + "\\wkex.exe\n",
       "Primary display successfully set to \"TovikMonitor\"\n", "create user process failed. \n",
       "protect.exe launched successfully from " + d + "\\rent_protect\\zanbyprotect.exe\n"}));
  // Both started in the drive's root, not in the run's own directory.
  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), 1u);
  EXPECT_EQ(helper[0].currentDirectory, d + "\\");
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  EXPECT_EQ(companion[0].currentDirectory, d + "\\");
}

}  // namespace
