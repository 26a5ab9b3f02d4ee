// displayprep-check-sim.exe, the pre-flight check on the simulated stacks: in
// each context, and with what a deployment can lack. It must answer what a
// run would meet, say what to do about each blocker, exit with the code of
// the first kind to mend, and change nothing: no log, no start, no display
// call that changes the machine, no profile touched.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <map>

#include "support/edid_bytes.h"
#include "support/sandbox.h"

namespace {

using dptest::Sandbox;

std::map<std::string, std::string> ByLabel(const std::string& output) {
  std::map<std::string, std::string> lines;
  for (const std::string& line : dptest::Lines(dptest::CrLfToLf(output))) {
    const std::size_t colon = line.find(": ");
    if (colon != std::string::npos) lines[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return lines;
}

// The lines every case shares, for the typical deployment in the console
// session of the local system account (placeholders: support/text.h).
const std::map<std::string, std::string> kTypical = {
    {"context",
     "NT AUTHORITY\\SYSTEM, the local system account, in session 1, the console "
     "session, local"},
    {"display calls", "answered"},
    {"displays",
     "1 listed: [0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) at (0,0) [Active] [Primary]"},
    {"a run", "provisions the virtual monitor, then arranges"},
    {"store.dat", "<A>\\harnfold\\store.dat: width=2560, height=1440, fps=60"},
    {"profile", "<P> (distance=0), hex text, 1 block, monitor name \"DP Virtual\""},
    {"rewrite", "possible"},
    {"helper", "<D>\\wkex.exe: present"},
    {"companion", "<C>: present"},
    {"user-session launch", "possible: the companion would start as the user of session 1"},
    {"agent", "not installed"},
    {"install folder", "only Administrators, SYSTEM and TrustedInstaller can change it"},
    {"log", "<A>\\harnfold\\log\\display.log"},
    {"verdict", "a run would reach its goal"},
};

struct CheckCase {
  const char* name;
  const wchar_t* account = nullptr;  // DPSIM_ACCOUNT, nullptr: unset
  sim::Machine (*machine)() = dptest::OneDellDisplay;
  std::function<void(Sandbox&)> change = nullptr;  // what the deployment lacks
  bool readOnlyProfiles = false;
  bool packagedProfiles = false;  // named TovikMonitor already
  // Lines that differ from kTypical; an empty text: no such line. A case
  // with a blocker says so in its verdict with the exit code and its kind.
  std::map<std::string, std::string> lines = {};
  unsigned exitCode = 0;
};

const std::map<unsigned, std::string> kBlockerKinds = {
    {2, "context"}, {3, "displays"}, {4, "files"}};

// An ordinary account, in the console session or a remote one: no agent or
// install-folder line (it is no administrator), the direct start expected.
std::map<std::string, std::string> AsUser(std::map<std::string, std::string> lines,
                                          const std::string& session = "1") {
  lines.insert({"context", "<U>, not the local system account, in session " + session +
                               ", the console session, local"});
  lines.insert({"user-session launch",
                "not possible (WTSQueryUserToken error 1314), as expected when run as the user: "
                "the companion would start directly, as <U> in session " +
                    session});
  lines.insert({"agent", ""});
  lines.insert({"install folder", ""});
  return lines;
}

// The helper made to ask for an administrator in its process manifest, as a
// helper that adds displays through a driver may.
void AskForAnAdministrator(Sandbox& box) {
  const std::string manifest =
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
      "<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
      "<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"
      "</requestedPrivileges></security></trustInfo></assembly>";
  HANDLE update = BeginUpdateResourceW(box.FileW("wkex.exe").c_str(), FALSE);
  ASSERT_NE(update, nullptr);
  ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), 0,
                              const_cast<char*>(manifest.data()),
                              static_cast<DWORD>(manifest.size())));
  ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
}

std::vector<CheckCase> Cases() {
  auto remove = [](const char* file, bool folderInstead = false) {
    return [file, folderInstead](Sandbox& box) { box.Remove(file, folderInstead); };
  };
  auto profile = [](std::string bytes) {
    return [bytes](Sandbox& box) { box.Write("edid\\2560x1440x60.hex", bytes); };
  };
  const std::string notNeeded =
      "<P> (distance=0), hex text, 1 block, monitor name \"DP Virtual\" (not needed now)";
  const std::string routeFix =
      "run it in the console user's session: as the user at logon (a Run value or a logon "
      "task), or install the agent (displayprep-agent.exe install)";
  const std::map<std::string, std::string> companionMissing = {
      {"companion", "<C>: missing"},
      {"blocker (files)", "the companion is missing: put it at <C>"}};
  return {
      {.name = "SystemInConsoleSession"},
      {.name = "UserInConsoleSession", .account = L"user", .lines = AsUser({})},
      {.name = "SystemInSession0",
       .account = L"system-session0",
       .lines =
           {{"context",
             "NT AUTHORITY\\SYSTEM, the local system account, in session 0, the services' session "
             "(the console's is 1): no user's desktop"},
            {"display calls", "answered, but with no display (0 paths, 0 modes)"},
            {"displays", "none"},
            {"blocker (context)",
             "session 0 (a task or a service run as SYSTEM) has no access to the user's "
             "displays: " +
                 routeFix},
            {"blocker (displays)",
             "the system lists no display (0 paths, 0 modes): run it in the console user's "
             "session, where a display is connected (session 0 sees none): as the user at "
             "logon, or through the agent"}},
       .exitCode = 2},
      {.name = "UserInRemoteSession",
       .account = L"remote",
       .lines = AsUser(
           {{"context",
             "<U>, not the local system account, in session 2, a remote session (client "
             "protocol 2; the console's is 1)"},
            {"display calls", "refused with error 5 (no access to the console session's displays)"},
            {"displays", "none"},
            {"blocker (context)",
             "a remote-desktop session cannot change the console's displays: " + routeFix},
            {"blocker (displays)", "the display calls are refused (error 5): " + routeFix}},
           "2"),
       .exitCode = 2},
      {.name = "ReadOnlyProfileWithTheOldName",
       .account = L"user",
       .readOnlyProfiles = true,
       .lines = AsUser(
           {{"rewrite",
             "not possible: the file is read-only; the helper would get \"DP Virtual\", not "
             "TovikMonitor"},
            {"blocker (files)",
             "the profile cannot be renamed TovikMonitor (the file is read-only): let the "
             "account write <D>\\edid, or use a profile that names TovikMonitor already (the "
             "packaged ones do)"}}),
       .exitCode = 4},
      {.name = "ReadOnlyPackagedProfile",
       .account = L"user",
       .readOnlyProfiles = true,
       .packagedProfiles = true,
       .lines = AsUser(
           {{"profile", "<P> (distance=0), hex text, 1 block, monitor name \"TovikMonitor\""},
            {"rewrite",
             "not possible: the file is read-only, as expected for an install only "
             "administrators can write: the profile already names TovikMonitor"}})},
      {.name = "HelperMissing",
       .change = remove("wkex.exe"),
       .lines = {{"helper", "<D>\\wkex.exe: missing"},
                 {"blocker (files)",
                  "wkex.exe is missing: put the virtual-display helper at <D>\\wkex.exe"}},
       .exitCode = 4},
      {.name = "HelperMissingOnAnArrangedMachine",
       .machine = dptest::ArrangedWithTovik,
       .change = remove("wkex.exe"),
       .lines =
           {{"displays",
             "2 listed: [0] \\\\.\\DISPLAY1 TovikMonitor (2560x1440) at (0,0) [Active] [Primary] "
             "[1] \\\\.\\DISPLAY2 DELL U2720Q (1920x1080) at (2560,0) [Active]"},
            {"a run", "arranges the two displays and makes TovikMonitor primary"},
            {"profile", notNeeded},
            {"rewrite", "possible (not needed now)"},
            {"helper", "<D>\\wkex.exe: missing (not needed now)"}}},
      {.name = "ProfileAsARegistryExport",
       .change = profile(dptest::RegistryExport({dptest::GeneratedBlock(2560, 1440, 60)}, true)),
       .lines = {{"profile",
                  "<P> (distance=0), a registry export: convert it with `edidgen import`"},
                 {"blocker (files)",
                  "the profile is not an EDID the program reads: convert it with `edidgen import`, "
                  "or use a packaged profile"}},
       .exitCode = 4},
      {.name = "ProfileWithoutAName",
       .change = profile(dptest::AsText(
           dptest::WithDescriptor(dptest::GeneratedBlock(2560, 1440, 60), 3, 0xFE, "Panel 14"))),
       .lines =
           {{"profile",
             "<P> (distance=0), raw, 1 block, no monitor-name "
             "descriptor: `edidgen import` adds one"},
            {"blocker (files)",
             "the profile has no monitor-name descriptor: convert it with `edidgen import`, which "
             "makes one, and put the result in <D>\\edid"}},
       .exitCode = 4},
      {.name = "HelperAsksForAnAdministrator",
       .account = L"user",
       .change = AskForAnAdministrator,
       .lines = AsUser({{"helper", "<D>\\wkex.exe: present, asks to run as an administrator"},
                        {"blocker (context)",
                         "wkex.exe asks to run as an administrator, which a start by this account "
                         "cannot give it (error 740): install the agent, which starts displayprep, "
                         "and so the helper, as the local system account"}}),
       .exitCode = 2},
      {.name = "CompanionMissing",
       .change = remove("rent_protect\\zanbyprotect.exe"),
       .lines = companionMissing,
       .exitCode = 4},
      // A folder of the companion's name is no companion: a run's starts would fail.
      {.name = "CompanionIsAFolder",
       .change = remove("rent_protect\\zanbyprotect.exe", true),
       .lines = companionMissing,
       .exitCode = 4},
      {.name = "ThreeDisplays",
       .machine = dptest::ThreeDisplays,
       .lines =
           {{"displays",
             "3 listed: [0] \\\\.\\DISPLAY1 DELL P240 (1920x1080) at (0,0) [Active] [Primary] "
             "[1] \\\\.\\DISPLAY2 DELL P241 (1920x1080) at (1920,0) [Active] "
             "[2] \\\\.\\DISPLAY3 DELL P242 (1920x1080) at (3840,0) [Active]"},
            {"a run", "changes nothing: three or more displays are listed"},
            {"profile", notNeeded},
            {"rewrite", "possible (not needed now)"},
            {"helper", "<D>\\wkex.exe: present (not needed now)"},
            {"blocker (displays)",
             "three or more displays are listed: a run changes nothing: leave at most one display "
             "connected besides the virtual monitor"}},
       .exitCode = 3},
  };
}

class CheckRun : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckRun, AnswersAndChangesNothing) {
  const CheckCase& c = GetParam();
  Sandbox box;
  box.DeployTypicalRun(
      {.program = "displayprep-check-sim.exe",
       .machine = c.machine(),
       .profiles = {{2560, 1440, 60, false, c.packagedProfiles ? "TovikMonitor" : "DP Virtual"}}});
  if (c.change) c.change(box);
  if (c.account != nullptr) box.SetEnv(L"DPSIM_ACCOUNT", std::wstring(c.account));
  const auto readOnly =
      c.readOnlyProfiles ? dptest::ReadOnly(box.FileW("edid\\2560x1440x60.hex")) : nullptr;
  const std::map<std::string, std::string> before = box.EdidFiles();
  const sim::Machine machineBefore = box.Machine();

  const RunResult r = box.Run("displayprep-check-sim.exe");
  ASSERT_TRUE(dptest::Ended(r, c.exitCode));

  std::map<std::string, std::string> want = kTypical;
  if (c.exitCode != 0)
    want["verdict"] = "a run would not reach its goal (exit code " + std::to_string(c.exitCode) +
                      ", " + kBlockerKinds.at(c.exitCode) + ")";
  for (const auto& [label, text] : c.lines) want[label] = text;
  std::erase_if(want, [](const auto& line) { return line.second.empty(); });
  const std::map<std::string, std::string> got = ByLabel(r.output);
  for (const auto& [label, text] : want) {
    ASSERT_TRUE(got.count(label)) << "no line \"" << label << "\" in:\n" << r.output;
    // The ordinary account is Wine's user: any DOMAIN\name.
    EXPECT_TRUE(
        dptest::MatchesWith(got.at(label), box.Expand(text), {{"<U>", R"([^ ,]+\\[^ ,]+)"}}))
        << label;
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

INSTANTIATE_TEST_SUITE_P(Cases, CheckRun, ::testing::ValuesIn(Cases()), dptest::ByName);

// The check never works out the log's path the way a run does, so it leaves
// no trace line either (runs alone: tests/CMakeLists.txt).
TEST(TraceFile, TheCheckLeavesNoTraceLine) {
  const dptest::EmptyTraceFile trace;
  Sandbox box;
  box.Install("displayprep-check-sim.exe");
  box.UseMachine(dptest::OneDellDisplay());
  const RunResult r = box.Run("displayprep-check-sim.exe");
  ASSERT_TRUE(r.started);
  EXPECT_THAT(r.output, ::testing::HasSubstr("verdict: "));
  EXPECT_EQ(trace.Now(), "");
}

}  // namespace
