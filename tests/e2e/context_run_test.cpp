// The contexts a deployment can run displayprep in, end to end: the
// simulated stack answers the display and session calls as Windows is
// observed to answer them in each (DPSIM_ACCOUNT), and each context runs on
// the one-display machine (the typical run) and on a machine already
// arranged. Every log line, the machine afterwards and what was started are
// checked. Then a read-only install, and the agent route: the service
// installed, its run, its removal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <filesystem>
#include <memory>
#include <regex>

#include "support/sandbox.h"

namespace {

using dptest::kCompanionDirectly;
using dptest::kCompanionInUserSession;
using dptest::kTypicalArrangement;
using dptest::kTypicalLayout;
using dptest::kTypicalProvision;
using dptest::Sandbox;

// The log in blocks (placeholders: support/text.h), besides the kit's.
const std::string kAlreadyArranged =
    "Available displays (retry 1):\n"
    "[0] \\\\.\\DISPLAY1 TovikMonitor (2560x1440) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY2 DELL U2720Q (1920x1080) [Active]\n"
    "Final available displays:\n"
    "[0] \\\\.\\DISPLAY1 TovikMonitor (0,0)(2560x1440) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY2 DELL U2720Q (0,2560)(1920x1080) [Active]\n"
    "Target display \"TovikMonitor\" is already primary, no change.\n";
// Session 0 sees no display at all (the sizes call answers 0 paths); a
// remote session is refused every display call.
const std::string kNoDisplaySeen =
    "No displays detected.\n"
    "EnumerateDisplays failed.\n";
const std::string kListingRefused =
    "Failed to get display config buffer sizes.\n"
    "EnumerateDisplays failed.\n";

const std::string kDellWithCloneOfIt =
    "DELL U2720Q 1920x1080 at (0,0)\nTovikMonitor 1920x1080 at (0,0)\n";

using Started = Sandbox::Started;

// The whole logs: the typical run as the local system account and as an
// ordinary account; provisioning between two failed listings in session 0
// and in a remote session.
const std::string kTypical = kTypicalProvision + kTypicalArrangement;
const std::string kInSession0 =
    kNoDisplaySeen + kTypicalProvision + kNoDisplaySeen + kCompanionInUserSession;
const std::string kInRemoteSession =
    kListingRefused + kTypicalProvision + kListingRefused + kCompanionDirectly;

struct ContextCase {
  const char* name;
  const wchar_t* account;  // DPSIM_ACCOUNT; nullptr leaves it unset (the default)
  sim::Machine (*machine)();
  std::string log;
  std::size_t helperStarts;
  Started companion;
  std::string layoutAfter;  // dptest::Layout of the machine afterwards
  unsigned databaseSaves;
};

// Rows: the four contexts; columns, in pairs: the one-display machine and
// the arranged one.
const ContextCase kContexts[] = {
    {"SystemInConsoleSession_OneDisplay", nullptr, dptest::OneDellDisplay,
     kTypical + kCompanionInUserSession, 1, Started::kInUserSession, kTypicalLayout, 1},
    {"SystemInConsoleSession_Arranged", L"system", dptest::ArrangedWithTovik,
     kAlreadyArranged + kCompanionInUserSession, 0, Started::kInUserSession, kTypicalLayout, 0},
    {"UserInConsoleSession_OneDisplay", L"user", dptest::OneDellDisplay,
     kTypical + kCompanionDirectly, 1, Started::kDirectly, kTypicalLayout, 1},
    {"UserInConsoleSession_Arranged", L"user", dptest::ArrangedWithTovik,
     kAlreadyArranged + kCompanionDirectly, 0, Started::kDirectly, kTypicalLayout, 0},
    // Provisions at every run, however the machine stands, and never arranges:
    // the virtual monitor stays a clone of the Dell, the Dell primary.
    {"SystemInSession0_OneDisplay", L"system-session0", dptest::OneDellDisplay, kInSession0, 1,
     Started::kInUserSession, kDellWithCloneOfIt, 0},
    // The helper, started again, plugs its display in again (the simulated
    // helper as a clone of the primary), and nothing puts the layout back.
    {"SystemInSession0_Arranged", L"system-session0", dptest::ArrangedWithTovik, kInSession0, 1,
     Started::kInUserSession, kDellWithCloneOfIt, 0},
    // The same in a remote session, and the companion started directly.
    {"UserInRemoteSession_OneDisplay", L"remote", dptest::OneDellDisplay, kInRemoteSession, 1,
     Started::kDirectly, kDellWithCloneOfIt, 0},
    {"UserInRemoteSession_Arranged", L"remote", dptest::ArrangedWithTovik, kInRemoteSession, 1,
     Started::kDirectly, kDellWithCloneOfIt, 0},
};

class ContextRun : public ::testing::TestWithParam<ContextCase> {};

TEST_P(ContextRun, LogMachineAndStarts) {
  const ContextCase& c = GetParam();
  // The helper's display appears once the run's first topology request is
  // answered, or where no listing succeeds its first listing request (made
  // all the same), so that what each attempt sees never depends on timing.
  const std::wstring account = c.account != nullptr ? c.account : L"";
  const bool neverListed = account == L"system-session0" || account == L"remote";
  Sandbox box;
  box.DeployTypicalRun(
      {.machine = c.machine(),
       .profiles = {{2560, 1440, 60}},
       .helperAfter = neverListed ? L"GetDisplayConfigBufferSizes:1" : dptest::kHelperAfter});
  if (c.account != nullptr) box.SetEnv(L"DPSIM_ACCOUNT", account);
  box.SetEnv(sim::kProbeVariable, L"1");

  RunResult r;
  const std::string log = box.RunForLog("displayprep-sim.exe", &r);
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  EXPECT_EQ(log, box.Expand(c.log, {{"<PID>", std::to_string(companion[0].processId)}}));

  // The machine once the helper's display is up: a run that lists nothing
  // may end before the helper has scheduled it, and nothing it asks changes
  // that.
  sim::SetStatePath(box.FileW("sim-state.json"));
  sim::UpdateMachine([](sim::Machine& m) -> LONG {
    sim::FireDueEvents(m, sim::NowMs());
    return ERROR_SUCCESS;
  });
  const sim::Machine after = box.Machine();
  EXPECT_EQ(dptest::Layout(after), c.layoutAfter) << sim::RenderDesktop(after);
  EXPECT_EQ(after.databaseSaves, c.databaseSaves);
  if (neverListed) {
    EXPECT_EQ(after.CallCount(sim::Api::SetDisplayConfig), 0u) << "nothing asked of the displays";
  }

  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), c.helperStarts);
  if (!helper.empty()) box.ExpectHelperStart(helper[0], "<D>\\wkex.exe /d <P>");
  EXPECT_EQ(r.processesStarted, 1 + helper.size() + companion.size());
  box.ExpectCompanionStart(companion[0], c.companion);
}

INSTANTIATE_TEST_SUITE_P(Contexts, ContextRun, ::testing::ValuesIn(kContexts), dptest::ByName);

// An install the account that runs it cannot write, run as that (ordinary)
// account: the rewrite fails, and the packaged profile's own name carries the
// run to its goal.
TEST(ReadOnlyInstall, PackagedProfileStillMakesTheVirtualMonitorPrimary) {
  Sandbox box;
  // The profiles as the package ships them: named TovikMonitor already.
  box.DeployTypicalRun({.profiles = {{2560, 1440, 60, false, "TovikMonitor"},
                                     {1920, 1080, 60, false, "TovikMonitor"}}});
  box.SetEnv(L"DPSIM_ACCOUNT", L"user");
  const std::map<std::string, std::string> before = box.EdidFiles();

  std::string log;
  {
    const auto readOnly = dptest::ReadOnly(box.FileW("edid"));
    ASSERT_TRUE(GetFileAttributesW(box.FileW("edid\\2560x1440x60.hex").c_str()) &
                FILE_ATTRIBUTE_READONLY);
    log = box.RunForLog();
  }
  // The failed rewrite is logged and the run goes on with the file as it is.
  EXPECT_THAT(log, ::testing::HasSubstr(
                       box.Expand("Selected hex file: <P>\n"
                                  "edid's monitor name is TovikMonitor.\n"
                                  "edid's monitor name change to TovikMonitor.\n"
                                  "Failed to open EDID file for writing: <P>\n"
                                  "Launching wkex.exe with command: <D>\\wkex.exe /d <P>\n")));
  EXPECT_THAT(log, ::testing::EndsWith(box.Expand(kTypicalArrangement + kCompanionDirectly)));

  EXPECT_TRUE(box.EdidFiles() == before) << "a profile was changed";
  const sim::Machine after = box.Machine();
  EXPECT_EQ(dptest::Layout(after), kTypicalLayout) << sim::RenderDesktop(after);

  // The helper was handed the untouched file and took the monitor's name and
  // mode from its EDID.
  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), 1u);
  box.ExpectHelperStart(helper[0], "<D>\\wkex.exe /d <P>");
  const sim::Target* added = nullptr;
  for (const sim::Target& t : after.targets)
    if (t.outputTechnology == DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED) added = &t;
  ASSERT_NE(added, nullptr) << sim::RenderDesktop(after);
  EXPECT_EQ(std::make_tuple(added->name, added->preferred.width, added->preferred.height),
            std::make_tuple(std::string("TovikMonitor"), 2560u, 1440u));
}

// The folders of the prefix a service's run writes to (the user's own
// APPDATA, the machine's ProgramData): those not there before the test are
// removed after it, so that the prefix is left as it was.
std::shared_ptr<void> LeftAsFound(std::vector<std::wstring> folders) {
  std::erase_if(folders, [](const std::wstring& folder) {
    return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
  });
  return std::shared_ptr<void>(nullptr, [folders](void*) {
    std::error_code ignored;
    for (const std::wstring& folder : folders)
      std::filesystem::remove_all(std::filesystem::path(folder), ignored);
  });
}

std::wstring Known(const wchar_t* variable) {
  const wchar_t* value = _wgetenv(variable);
  return value != nullptr ? value : L"";
}

void GrantEveryoneFullControl(const std::wstring& file) {
  PACL dacl = nullptr, granted = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &dacl, nullptr, &descriptor),
            ERROR_SUCCESS);
  EXPLICIT_ACCESSW everyone = {};
  BuildExplicitAccessWithNameW(&everyone, const_cast<wchar_t*>(L"Everyone"), GENERIC_ALL,
                               GRANT_ACCESS, NO_INHERITANCE);
  EXPECT_EQ(SetEntriesInAclW(1, &everyone, dacl, &granted), ERROR_SUCCESS);
  EXPECT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(file.c_str()), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr, granted, nullptr),
            ERROR_SUCCESS);
  LocalFree(granted);
  LocalFree(descriptor);
}

bool AgentServiceInstalled() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (manager == nullptr) return false;
  SC_HANDLE service = OpenServiceW(manager, L"displayprep-agent", SERVICE_QUERY_STATUS);
  if (service != nullptr) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return service != nullptr;
}

// The agent route under Wine: installed as a service in the test prefix, it
// starts at once, finds a user at the console (Wine hands out the user's
// token for session 1; it delivers no session-change event, so this is the
// "already logged on at start" path) and runs displayprep (the simulated
// build, as displayprep.exe beside it) once, with the user's environment:
// the one-display machine ends arranged, the companion started in the
// user's session. Uninstall leaves no service behind.
TEST(AgentRoute, InstallRunsDisplayprepOnceAndUninstallRemovesTheService) {
  ASSERT_FALSE(AgentServiceInstalled()) << "a displayprep-agent service is installed already";
  Sandbox box;
  // Gated as it is deployed: the service's run is started by none of ours.
  box.DeployTypicalRun({.profiles = {{1920, 1080, 60}}});
  box.Install("displayprep-agent.exe");
  box.Install("displayprep-sim.exe", "displayprep.exe");
  // The run gets the user's environment, not the test's: the helper reads
  // when to appear from its settings file.
  box.Write("wkex.ini", "[wkex]\r\nafter=" + dptest::WideToAnsi(dptest::kHelperAfter) + "\r\n");
  const std::wstring userData = Known(L"APPDATA") + L"\\harnfold";
  const std::wstring agentData = Known(L"ProgramData") + L"\\displayprep";
  const auto leftAsFound = LeftAsFound({userData, agentData});

  // Without a verb, outside the service manager: its usage and 2.
  const RunResult usage = box.Run("displayprep-agent.exe");
  EXPECT_EQ(usage.exitCode, 2u);
  EXPECT_THAT(usage.output,
              ::testing::HasSubstr("usage: displayprep-agent.exe install | uninstall"));
  // A program others may change is refused before anything is installed
  // (Wine makes the grant a file mode, and reads it back as such).
  GrantEveryoneFullControl(box.FileW("displayprep.exe"));
  const RunResult refused = box.Run("displayprep-agent.exe", {L"install"});
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_THAT(dptest::CrLfToLf(refused.output),
              ::testing::StartsWith("displayprep-agent: not installed: " +
                                    box.File("displayprep.exe") + ": Everyone may change it;"));
  EXPECT_FALSE(AgentServiceInstalled());
  ASSERT_TRUE(DeleteFileW(box.FileW("displayprep.exe").c_str()));
  box.Install("displayprep-sim.exe", "displayprep.exe");

  const RunResult install = box.Run("displayprep-agent.exe", {L"install"});
  ASSERT_TRUE(install.started) << install.startError;
  EXPECT_EQ(install.exitCode, 0u) << install.output;
  EXPECT_THAT(dptest::CrLfToLf(install.output),
              ::testing::HasSubstr("displayprep-agent: installed: \"" + box.dir() +
                                   "\\displayprep-agent.exe\", started "
                                   "automatically as LocalSystem\n"));
  std::string agentLog;
  for (int i = 0; i < 600; ++i) {  // the run ends within seconds; a minute at most
    agentLog = dptest::StripLogPrefixes(dptest::ReadFileBytes(agentData + L"\\agent.log"));
    if (agentLog.find(") ended: ") != std::string::npos) break;
    Sleep(100);
  }
  const RunResult uninstall = box.Run("displayprep-agent.exe", {L"uninstall"});
  EXPECT_EQ(uninstall.exitCode, 0u) << uninstall.output;
  EXPECT_THAT(dptest::CrLfToLf(uninstall.output),
              ::testing::EndsWith("displayprep-agent: removed\n"));
  EXPECT_FALSE(AgentServiceInstalled());

  agentLog = dptest::StripLogPrefixes(dptest::ReadFileBytes(agentData + L"\\agent.log"));
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      agentLog, m,
      std::regex("service started \\(displayprep-agent [0-9.]+\\), starting (.+)\n"
                 "service start, session 1: run: the console session, a user logged on\n"
                 "displayprep started in session 1: process ([0-9]+)\n"
                 "displayprep \\(process \\2, session 1\\) ended: exit code 0 after "
                 "[0-9]+\\.[0-9] s\n"
                 "service stopped\n")))
      << agentLog;
  EXPECT_EQ(m[1].str(), box.File("displayprep.exe"));

  // displayprep's own log is the user's, and tells the typical run.
  const std::vector<sim::StartRecord> companion = box.CompanionStarts();
  ASSERT_EQ(companion.size(), 1u);
  const std::string log =
      dptest::StripLogPrefixes(dptest::ReadFileBytes(userData + L"\\log\\display.log"));
  EXPECT_THAT(
      log, ::testing::HasSubstr(box.Expand(kTypicalArrangement + kCompanionInUserSession,
                                           {{"<PID>", std::to_string(companion[0].processId)}})));
  EXPECT_EQ(companion[0].desktop, "winsta0\\default");
  EXPECT_EQ(box.HelperStarts().size(), 1u);
  EXPECT_EQ(dptest::Layout(box.Machine()),
            "TovikMonitor 1920x1080 at (0,0)\nDELL U2720Q 1920x1080 at (1920,0)\n")
      << sim::RenderDesktop(box.Machine());
}

}  // namespace
