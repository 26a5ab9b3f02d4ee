// The companion launch end to end under Wine, for real: the session calls
// succeed there as for the local system account, and DPSIM_ACCOUNT=user makes
// the simulated build an ordinary account, for which Windows refuses the user
// token and the direct launch takes over. The companion is the recorder.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/sandbox.h"

namespace {

using dptest::Sandbox;

struct CompanionCase {
  const char* name;
  const char* deployment;
  bool companion;          // the recorder stands at rent_protect\zanbyprotect.exe
  bool companionIsFolder;  // a folder of that name instead
  bool ordinaryAccount;
  // After "too many monitor found.\n" (placeholders: support/text.h).
  std::string log;
  enum { kNone, kUserSession, kDirect } started;
};

const CompanionCase kCases[] = {
    {"UserSession", "", true, false, false, dptest::kCompanionInUserSession,
     CompanionCase::kUserSession},
    {"UserSessionWithASpace", "my tools", true, false, false, dptest::kCompanionInUserSession,
     CompanionCase::kUserSession},
    {"CompanionMissing", "", false, false, false, dptest::kNoCompanion, CompanionCase::kNone},
    {"OrdinaryAccountStartsItDirectly", "", true, false, true, dptest::kCompanionDirectly,
     CompanionCase::kDirect},
    {"OrdinaryAccountWithASpace", "my tools", true, false, true, dptest::kCompanionDirectly,
     CompanionCase::kDirect},
    // The folder passes the existence test; both starts then fail with the
    // system's code (5 on Windows, 2 under Wine), the same for both.
    {"CompanionIsAFolder", "", false, true, false,
     "CreateProcessAsUser failed. Error: <ERR>create user process failed. \n"
     "Failed to launch protect.exe (Path: <C>), Error=<ERR>\n",
     CompanionCase::kNone},
};

class CompanionRun : public ::testing::TestWithParam<CompanionCase> {};

TEST_P(CompanionRun, StartsItOnceAsItShould) {
  const CompanionCase& c = GetParam();
  Sandbox box(c.deployment);
  box.Install("displayprep-sim.exe");
  if (c.companion) box.InstallCompanion();
  if (c.companionIsFolder) {
    std::filesystem::create_directories(std::filesystem::path(box.Companion()));
  }
  box.UseMachine(dptest::ThreeDisplays());
  // Set in the launching program's environment only: a user-session start
  // must not see it, a direct one inherits it.
  box.SetEnv(sim::kProbeVariable, L"1");
  if (c.ordinaryAccount) box.SetEnv(L"DPSIM_ACCOUNT", L"user");
  box.ProbeWhatStartsInherit();

  const RunResult r = box.Run("displayprep-sim.exe");
  ASSERT_TRUE(dptest::Ended(r));
  const std::vector<sim::StartRecord> starts = box.CompanionStarts();
  ASSERT_EQ(starts.size(), c.started == CompanionCase::kNone ? 0u : 1u);
  // The program, its console's host and the companion, nothing else.
  EXPECT_EQ(r.processesStarted, starts.size() + 2) << "the program and its companion only";

  const std::string path = box.Companion();
  const std::string quoted = box.Expand("<Q>");
  const std::string pid = starts.empty() ? "" : std::to_string(starts[0].processId);
  const std::string log = box.Log();
  EXPECT_TRUE(dptest::MatchesWith(
      log, box.Expand("too many monitor found.\n" + c.log, {{"<PID>", pid}}), {{"<ERR>", "\\d+"}}));
  EXPECT_EQ(dptest::StripLogPrefixes(r.output), log) << "the console carries the same";
  if (starts.empty()) return;

  const sim::StartRecord& s = starts[0];
  // A console program with a console to write to, holding none of the
  // program's handles, either way.
  EXPECT_TRUE(s.hasConsole) << "started detached";
  EXPECT_FALSE(s.inheritedProbeHandle) << "started with the program's inheritable handles";
  EXPECT_EQ(s.commandLine, quoted);
  EXPECT_EQ(s.arguments, std::vector<std::string>{path}) << "no arguments";
  if (c.started == CompanionCase::kUserSession) {
    EXPECT_EQ(s.desktop, "winsta0\\default");
    EXPECT_EQ(s.startupFlags & STARTF_USESHOWWINDOW,
              static_cast<unsigned long>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(s.showWindow, static_cast<unsigned>(SW_SHOW));
    EXPECT_FALSE(s.hasProbeVariable) << "the user's environment, not the program's";
    EXPECT_EQ(s.currentDirectory, box.workingDirectory()) << "no directory given: the program's";
  } else {
    EXPECT_TRUE(s.hasProbeVariable) << "the program's own environment";
    EXPECT_EQ(s.currentDirectory, box.dir()) << "the executable directory";
    EXPECT_EQ(s.startupFlags, 0ul);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CompanionRun, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The shipped program, not the simulated build, under Wine with its one
// display: every line of the run, in order.
TEST(ShippedProgram, WholeRunUnderWine) {
  Sandbox box;
  box.Install("displayprep.exe");
  box.Install("dprecord.exe", "wkex.exe");
  box.InstallCompanion();
  box.WriteProfiles({{2560, 1440, 60}});
  box.Write("edid\\readme.hex", "not a profile");
  box.WriteSettings(2560, 1440, 60);

  // The shipped program asks Wine itself for the display, and the first to
  // do so in a prefix brings up Wine's desktop process (explorer.exe) inside
  // the run's job, where it lives on while the desktop is used: the wait for
  // the run's descendants ends at this limit and the job is then ended. The
  // run itself takes about 6 s (docs/wine.md, "What a run leaves running").
  box.SetRunTimeout(20000);
  const RunResult r = box.Run("displayprep.exe", {L"--ignored", L"argument"});
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u);
  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  // Awaited on its own as well: a companion started in the user's session
  // need not be in its launcher's job.
  std::vector<sim::StartRecord> companion;
  EXPECT_TRUE(
      sim::AwaitStarts(box.FileW("rent_protect\\zanbyprotect.starts"), 1, 20000, &companion));
  ASSERT_EQ(helper.size(), 1u);
  ASSERT_EQ(companion.size(), 1u);

  // Every line of the run, in order; Wine's one display, whatever it is,
  // the same in every attempt.
  std::string want = dptest::kTypicalProvision;
  for (int attempt = 1; attempt <= 5; ++attempt)
    want += "Available displays (retry " + std::to_string(attempt) +
            "):\n<DISPLAY>\nonly 1 display.\n[Info] Force Extend mode success.\n";
  want += "ERROR: After 5 retries, still detected inactive displays, abort.\n" +
          dptest::kCompanionInUserSession;
  EXPECT_TRUE(dptest::MatchesWith(
      box.Log(), box.Expand(want, {{"<PID>", std::to_string(companion[0].processId)}}),
      {{"<DISPLAY>", R"(\[0\] \\\\\.\\DISPLAY\d+ .* \(\d+x\d+\) \[Active\] \[Primary\])"}}));

  EXPECT_EQ(helper[0].commandLine, box.Expand("<D>\\wkex.exe /d <P>"));
  EXPECT_EQ(helper[0].currentDirectory, box.dir());
  EXPECT_EQ(companion[0].desktop, "winsta0\\default");
  EXPECT_EQ(companion[0].arguments, std::vector<std::string>{box.Companion()});
  EXPECT_EQ(box.EdidFiles().at("2560x1440x60.hex").size(), 128u);
}

}  // namespace
