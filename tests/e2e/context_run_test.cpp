// The three contexts a deployment can run displayprep in, end to end: the
// simulated stack answers the display and session calls as Windows documents
// them for each (DPSIM_ACCOUNT), and each context runs on the one-display
// machine (the typical run) and on a machine already arranged. Every log
// line, the machine afterwards and what was started are checked. Then a
// read-only install, and the pre-flight check in each context.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <regex>
#include <sstream>

#include "edidgen.h"
#include "sandbox.h"
#include "support/log_capture.h"
#include "support/sim_fixture.h"
#include "support/text.h"

namespace {

using dptest::Link;
using dptest::Monitor;
using dptest::ReadFileBytes;
using dptest::Shown;
using dptest::StripLogPrefixes;

// The active displays by name, left to right: "NAME WxH at (x,y)" a line.
std::string Layout(const sim::Machine& m) {
  std::vector<std::tuple<int32_t, std::string>> shown;
  for (const sim::Path& p : m.paths) {
    const sim::Source* s = sim::FindSource(m, p.sourceId);
    std::string name = "?";
    for (const sim::Target& t : m.targets)
      if (t.id == p.targetId) name = t.name;
    if (s == nullptr || !s->mode) continue;
    shown.emplace_back(s->mode->x, name + " " + std::to_string(s->mode->width) + "x" +
                                       std::to_string(s->mode->height) + " at (" +
                                       std::to_string(s->mode->x) + "," +
                                       std::to_string(s->mode->y) + ")\n");
  }
  std::stable_sort(shown.begin(), shown.end(),
                   [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
  std::string out;
  for (const auto& s : shown) out += std::get<1>(s);
  return out;
}

// The log in blocks. "<A>" is APPDATA, "<D>" the deployment, "<C>" the
// companion's path, "<PID>" the companion's process id.
const std::string kProvision =
    "Reading config file: <A>\\harnfold\\store.dat\n"
    "Target config: width=2560, height=1440, fps=60\n"
    "Searching in directory: <D>\\edid\n"
    "Found file: 2560x1440x60.hex --> w=2560, h=1440, fps=60, distance=0\n"
    "\nClosest file: 2560x1440x60.hex (distance=0)\n"
    "Selected hex file: <D>\\edid\\2560x1440x60.hex\n"
    "edid's monitor name is DP Virtual.\n"
    "edid's monitor name change to TovikMonitor.\n"
    "Successfully changed EDID monitor name in file: <D>\\edid\\2560x1440x60.hex\n"
    "Launching wkex.exe with command: <D>\\wkex.exe /d <D>\\edid\\2560x1440x60.hex\n"
    "wkex.exe launched successfully from <D>\\wkex.exe\n";
const std::string kTypicalArrangement =
    "Available displays (retry 1):\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
    "only 1 display.\n"
    "[Info] Force Extend mode success.\n"
    "Available displays (retry 2):\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY1 TovikMonitor (1920x1080) [Active] [Primary]\n"
    "is clone mode, forcing to Extend mode...\n"
    "[Info] Force Extend mode success.\n"
    "Final available displays:\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (0,0)(1920x1080) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY1 TovikMonitor (0,0)(1920x1080) [Active] [Primary]\n"
    "Switching primary display to \"TovikMonitor\"...\n"
    "Primary display successfully set to index: 1\n"
    "Primary display successfully set to \"TovikMonitor\"\n";
const std::string kAlreadyArranged =
    "Available displays (retry 1):\n"
    "[0] \\\\.\\DISPLAY1 TovikMonitor (2560x1440) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY2 DELL U2720Q (1920x1080) [Active]\n"
    "Final available displays:\n"
    "[0] \\\\.\\DISPLAY1 TovikMonitor (0,0)(2560x1440) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY2 DELL U2720Q (0,2560)(1920x1080) [Active]\n"
    "Target display \"TovikMonitor\" is already primary, no change.\n";
// Session 0 has no access to the console session's displays.
const std::string kListingRefused =
    "Failed to get display config buffer sizes.\n"
    "EnumerateDisplays failed.\n";
const std::string kInUserSession = "create process success, command_line:<C>, process_id:<PID>.";
const std::string kDirectly =
    "WTSQueryUserToken failed. Error: 1314create user process failed. \n"
    "protect.exe launched successfully from <C>\n";

const std::string kTovikPrimary =
    "TovikMonitor 2560x1440 at (0,0)\n"
    "DELL U2720Q 1920x1080 at (2560,0)\n";

enum class Started { kInUserSession, kDirectly };

struct ContextCase {
  const char* name;
  const wchar_t* account;  // DPSIM_ACCOUNT; nullptr leaves it unset (the default)
  sim::Machine (*machine)();
  std::string log;
  std::size_t helperStarts;
  Started companion;
  std::string layoutAfter;  // Layout() of the machine afterwards
  unsigned databaseSaves;
};

// Rows: the three contexts; columns, in pairs: the one-display machine and
// the arranged one.
const ContextCase kContexts[] = {
    {"SystemInConsoleSession_OneDisplay", nullptr, dptest::OneDellDisplay,
     kProvision + kTypicalArrangement + kInUserSession, 1, Started::kInUserSession, kTovikPrimary,
     1},
    {"SystemInConsoleSession_Arranged", L"system", dptest::ArrangedWithTovik,
     kAlreadyArranged + kInUserSession, 0, Started::kInUserSession, kTovikPrimary, 0},
    {"UserInConsoleSession_OneDisplay", L"user", dptest::OneDellDisplay,
     kProvision + kTypicalArrangement + kDirectly, 1, Started::kDirectly, kTovikPrimary, 1},
    {"UserInConsoleSession_Arranged", L"user", dptest::ArrangedWithTovik,
     kAlreadyArranged + kDirectly, 0, Started::kDirectly, kTovikPrimary, 0},
    // Provisions at every run, however the machine stands, and never arranges:
    // the virtual monitor stays a clone of the Dell, the Dell primary.
    {"SystemInSession0_OneDisplay", L"system-session0", dptest::OneDellDisplay,
     kListingRefused + kProvision + kListingRefused + kInUserSession, 1, Started::kInUserSession,
     "DELL U2720Q 1920x1080 at (0,0)\nTovikMonitor 1920x1080 at (0,0)\n", 0},
    // The helper, started again, plugs its display in again (the simulated
    // helper as a clone of the primary), and nothing puts the layout back.
    {"SystemInSession0_Arranged", L"system-session0", dptest::ArrangedWithTovik,
     kListingRefused + kProvision + kListingRefused + kInUserSession, 1, Started::kInUserSession,
     "DELL U2720Q 1920x1080 at (0,0)\nTovikMonitor 1920x1080 at (0,0)\n", 0},
};

class ContextRun : public ::testing::TestWithParam<ContextCase> {};

TEST_P(ContextRun, LogMachineAndStarts) {
  const ContextCase& c = GetParam();
  Sandbox box;
  box.DeployOn("displayprep-sim.exe", c.machine());
  box.WriteProfiles({{2560, 1440, 60}});
  box.WriteSettings(2560, 1440, 60);
  if (c.account != nullptr) box.SetEnv(L"DPSIM_ACCOUNT", std::wstring(c.account));
  // The helper's display appears once the run's first listing request is
  // answered (session 0: refused, but made) or its first topology request,
  // so that what each attempt sees never depends on timing.
  const bool session0 = c.account != nullptr && std::wstring(c.account) == L"system-session0";
  box.SetEnv(L"WKEX_AFTER", session0 ? L"GetDisplayConfigBufferSizes:1" : L"SetDisplayConfig:1");
  box.SetEnv(sim::kProbeVariable, L"1");

  const RunResult r = box.Run("displayprep-sim.exe");
  ASSERT_TRUE(r.started) << r.startError;
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 0u);

  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  const std::string want =
      dptest::Expand(c.log, {{"<A>", box.appdata()},
                             {"<D>", box.dir()},
                             {"<C>", box.Companion()},
                             {"<PID>", std::to_string(companion[0].processId)}});
  const std::string log = StripLogPrefixes(ReadFileBytes(box.LogFile()));
  EXPECT_EQ(log, want);
  EXPECT_THAT(StripLogPrefixes(r.output), ::testing::HasSubstr(log)) << "the console carries it";

  // The machine once the helper's display is up: a session-0 run may end
  // before the helper has scheduled it, and nothing it asks changes that.
  sim::SetStatePath(box.FileW("sim-state.json"));
  sim::UpdateMachine([](sim::Machine& m) -> LONG {
    sim::FireDueEvents(m, sim::NowMs());
    return ERROR_SUCCESS;
  });
  const sim::Machine after = box.Machine();
  EXPECT_EQ(Layout(after), c.layoutAfter) << sim::RenderDesktop(after);
  EXPECT_EQ(after.databaseSaves, c.databaseSaves);
  if (session0) {
    EXPECT_EQ(after.CallCount(sim::Api::SetDisplayConfig), 0u) << "nothing asked of the displays";
  }

  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), c.helperStarts);
  if (!helper.empty()) {
    EXPECT_EQ(helper[0].commandLine,
              box.dir() + "\\wkex.exe /d " + box.dir() + "\\edid\\2560x1440x60.hex");
  }
  EXPECT_EQ(r.processesStarted, 1 + helper.size() + companion.size());

  const sim::StartRecord& s = companion[0];
  EXPECT_EQ(s.arguments, std::vector<std::string>{box.Companion()});
  if (c.companion == Started::kInUserSession) {
    EXPECT_EQ(s.desktop, "winsta0\\default");
    EXPECT_FALSE(s.hasProbeVariable) << "the user's environment, not the program's";
  } else {
    // As the account that ran the program, with its environment, in its folder.
    EXPECT_TRUE(s.hasProbeVariable);
    EXPECT_EQ(s.currentDirectory, box.dir());
  }
}

INSTANTIATE_TEST_SUITE_P(Contexts, ContextRun, ::testing::ValuesIn(kContexts),
                         [](const auto& info) { return std::string(info.param.name); });

// Sets the read-only attribute on the edid folder and everything in it for
// the length of a test, and takes it off again (Wine refuses to delete a
// read-only file, so the sandbox could not be cleaned up otherwise).
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::wstring folder) : folder_(std::move(folder)) { Set(true); }
  ~ReadOnlyFolder() { Set(false); }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

 private:
  void Set(bool readOnly) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder_ + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::wstring file = folder_ + L"\\" + entry.cFileName;
        EXPECT_TRUE(SetFileAttributesW(file.c_str(),
                                       readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
    const DWORD attributes = GetFileAttributesW(folder_.c_str());
    SetFileAttributesW(folder_.c_str(), readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                                 : attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  std::wstring folder_;
};

// The profiles as the package ships them: named TovikMonitor already.
void WritePackagedProfiles(Sandbox& box, const std::vector<edidgen::Mode>& modes) {
  for (const edidgen::Mode& mode : modes) {
    const edidgen::Result r = edidgen::GenerateEdid(mode, "TovikMonitor");
    ASSERT_TRUE(r.ok) << r.error;
    box.Write("edid\\" + edidgen::ModeFileName(mode),
              edidgen::FormatHexText(r.block.data(), r.block.size()));
  }
}

// An install the account that runs it cannot write, run as that (ordinary)
// account: the rewrite fails, and the packaged profile's own name carries the
// run to its goal.
TEST(ReadOnlyInstall, PackagedProfileStillMakesTheVirtualMonitorPrimary) {
  Sandbox box;
  box.DeployOn("displayprep-sim.exe", dptest::OneDellDisplay());
  WritePackagedProfiles(box, {{2560, 1440, 60}, {1920, 1080, 60}});
  box.WriteSettings(2560, 1440, 60);
  box.SetEnv(L"DPSIM_ACCOUNT", L"user");
  box.SetEnv(L"WKEX_AFTER", L"SetDisplayConfig:1");
  const std::map<std::string, std::string> before = box.EdidFiles();

  RunResult r;
  {
    ReadOnlyFolder readOnly(box.FileW("edid"));
    ASSERT_TRUE(GetFileAttributesW(box.FileW("edid\\2560x1440x60.hex").c_str()) &
                FILE_ATTRIBUTE_READONLY);
    r = box.Run("displayprep-sim.exe");
  }
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);

  const std::string d = box.dir();
  const std::string chosen = d + "\\edid\\2560x1440x60.hex";
  const std::string log = StripLogPrefixes(ReadFileBytes(box.LogFile()));
  // The failed rewrite is logged and the run goes on with the file as it is.
  const std::string rewrite = "Selected hex file: " + chosen +
                              "\n"
                              "edid's monitor name is TovikMonitor.\n"
                              "edid's monitor name change to TovikMonitor.\n"
                              "Failed to open EDID file for writing: " +
                              chosen +
                              "\n"
                              "Launching wkex.exe with command: " +
                              d + "\\wkex.exe /d " + chosen + "\n";
  EXPECT_THAT(log, ::testing::HasSubstr(rewrite));
  const std::size_t arranged = log.find(kTypicalArrangement);
  EXPECT_NE(arranged, std::string::npos) << log;
  EXPECT_EQ(log.substr(arranged + kTypicalArrangement.size()),
            dptest::Expand(kDirectly, {{"<C>", box.Companion()}}));

  EXPECT_TRUE(box.EdidFiles() == before) << "a profile was changed";
  EXPECT_EQ(Layout(box.Machine()), kTovikPrimary) << sim::RenderDesktop(box.Machine());

  // The helper was handed the untouched file and took the monitor's name and
  // mode from its EDID.
  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), 1u);
  ASSERT_EQ(helper[0].arguments.size(), 3u);
  EXPECT_EQ(helper[0].arguments[2], chosen);
  const sim::Machine after = box.Machine();
  const sim::Target* added = nullptr;
  for (const sim::Target& t : after.targets)
    if (t.outputTechnology == DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED) added = &t;
  ASSERT_NE(added, nullptr) << sim::RenderDesktop(after);
  EXPECT_EQ(added->name, "TovikMonitor");
  EXPECT_EQ(std::make_tuple(added->preferred.width, added->preferred.height),
            std::make_tuple(2560u, 1440u));
}

}  // namespace
