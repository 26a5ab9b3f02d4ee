// The companion launch end to end under Wine, for real: the session calls
// succeed there as for the local system account, and DPSIM_ACCOUNT=user makes
// the simulated build an ordinary account, for which Windows refuses the user
// token and the direct launch takes over. The companion is the recorder.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "support/sandbox.h"

namespace {

using dptest::Sandbox;

using Started = Sandbox::Started;
enum class Companion { kRecorder, kMissing, kFolder };  // at rent_protect\zanbyprotect.exe

// An ordinary account is refused the user's token and starts it directly.
struct CompanionCase {
  const char* name;
  const char* deployment;
  Companion companion;
  std::optional<Started> started;  // nullopt: as the local system account, nothing started
  // After "too many monitor found.\n" (placeholders: support/text.h).
  std::string log;
};

const CompanionCase kCases[] = {
    {"UserSession", "", Companion::kRecorder, Started::kInUserSession,
     dptest::kCompanionInUserSession},
    {"UserSessionWithASpace", "my tools", Companion::kRecorder, Started::kInUserSession,
     dptest::kCompanionInUserSession},
    {"CompanionMissing", "", Companion::kMissing, std::nullopt, dptest::kNoCompanion},
    {"OrdinaryAccountStartsItDirectly", "", Companion::kRecorder, Started::kDirectly,
     dptest::kCompanionDirectly},
    {"OrdinaryAccountWithASpace", "my tools", Companion::kRecorder, Started::kDirectly,
     dptest::kCompanionDirectly},
    // The folder passes the existence test; both starts then fail with the
    // system's code (5 on Windows, 2 under Wine), the same for both.
    {"CompanionIsAFolder", "", Companion::kFolder, std::nullopt,
     "CreateProcessAsUser failed. Error: <ERR>create user process failed. \n"
     "Failed to launch protect.exe (Path: <C>), Error=<ERR>\n"},
};

class CompanionRun : public ::testing::TestWithParam<CompanionCase> {};

TEST_P(CompanionRun, StartsItOnceAsItShould) {
  const CompanionCase& c = GetParam();
  Sandbox box(c.deployment);
  box.Install("displayprep-sim.exe");
  if (c.companion == Companion::kRecorder)
    box.Install("dprecord.exe", "rent_protect\\zanbyprotect.exe");
  if (c.companion == Companion::kFolder)
    std::filesystem::create_directories(std::filesystem::path(box.Companion()));
  box.UseMachine(dptest::ThreeDisplays());
  // Set in the launching program's environment only: a user-session start
  // must not see it, a direct one inherits it.
  box.SetEnv(sim::kProbeVariable, L"1");
  if (c.started == Started::kDirectly) box.SetEnv(L"DPSIM_ACCOUNT", L"user");
  box.ProbeWhatStartsInherit();

  const RunResult r = box.Run("displayprep-sim.exe");
  ASSERT_TRUE(dptest::Ended(r));
  const std::vector<sim::StartRecord> starts = box.CompanionStarts();
  ASSERT_EQ(starts.size(), c.started ? 1u : 0u);
  // The program, its console's host and the companion, nothing else.
  EXPECT_EQ(r.processesStarted, starts.size() + 2) << "the program and its companion only";

  const std::string pid = starts.empty() ? "" : std::to_string(starts[0].processId);
  const std::string log = box.Log();
  EXPECT_TRUE(dptest::MatchesWith(
      log, box.Expand("too many monitor found.\n" + c.log, {{"<PID>", pid}}), {{"<ERR>", "\\d+"}}));
  EXPECT_EQ(dptest::StripLogPrefixes(r.output), log) << "the console carries the same";
  // A console program with a console to write to, holding none of the
  // program's handles, either way.
  if (c.started) box.ExpectCompanionStart(starts[0], *c.started);
}

INSTANTIATE_TEST_SUITE_P(Cases, CompanionRun, ::testing::ValuesIn(kCases), dptest::ByName);

// The shipped program, not the simulated build, under Wine with its one
// display: every line of the run, in order.
TEST(ShippedProgram, WholeRunUnderWine) {
  Sandbox box;
  // The recorder in the helper's place: no simulated display to gate.
  box.DeployTypicalRun(
      {.program = "displayprep.exe", .profiles = {{2560, 1440, 60}}, .helperAfter = L""});
  box.Install("dprecord.exe", "wkex.exe");
  box.Write("edid\\readme.hex", "not a profile");

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

  box.ExpectHelperStart(helper[0], "<D>\\wkex.exe /d <P>");
  box.ExpectCompanionStart(companion[0], Started::kInUserSession);
  EXPECT_EQ(dptest::NotRewritten(box.EdidFiles()["2560x1440x60.hex"], {2560, 1440, 60}), "");
}

}  // namespace
