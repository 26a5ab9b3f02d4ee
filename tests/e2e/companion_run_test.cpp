// The companion launch end to end under Wine, for real: the session calls
// succeed there as for the local system account, and DPSIM_ACCOUNT=user makes
// the simulated build an ordinary account, for which Windows refuses the user
// token and the direct launch takes over. The companion is the recorder.
#include <gtest/gtest.h>

#include <filesystem>
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
using dptest::Shown;

// Three displays: the display stage ends at once with one line.
sim::Machine ThreeDisplays() {
  sim::Machine m;
  for (uint32_t i = 0; i < 3; ++i) {
    m.targets.push_back(Monitor(0x1100 + i, "DELL P24" + std::to_string(i)));
    m.sources.push_back(Shown(i, 1920, 1080, static_cast<int32_t>(1920 * i), 0));
    m.paths.push_back(Link(i, 0x1100 + i));
  }
  return m;
}

struct CompanionCase {
  const char* name;
  const char* deployment;
  bool companion;          // the recorder stands at rent_protect\zanbyprotect.exe
  bool companionIsFolder;  // a folder of that name instead
  bool ordinaryAccount;
  // After "too many monitor found.\n"; "<C>" is the companion path, "<Q>" the
  // same quoted as the command line has it, "<PID>" the started process.
  std::string log;
  enum { kNone, kUserSession, kDirect } started;
};

const CompanionCase kCases[] = {
    {"UserSession", "", true, false, false,
     "create process success, command_line:<Q>, process_id:<PID>.", CompanionCase::kUserSession},
    {"UserSessionWithASpace", "my tools", true, false, false,
     "create process success, command_line:<Q>, process_id:<PID>.", CompanionCase::kUserSession},
    {"CompanionMissing", "", false, false, false,
     "Target executable not found: <C>create user process failed. \n"
     "Target executable not found: <C>\n",
     CompanionCase::kNone},
    {"OrdinaryAccountStartsItDirectly", "", true, false, true,
     "WTSQueryUserToken failed. Error: 1314create user process failed. \n"
     "protect.exe launched successfully from <C>\n",
     CompanionCase::kDirect},
    {"OrdinaryAccountWithASpace", "my tools", true, false, true,
     "WTSQueryUserToken failed. Error: 1314create user process failed. \n"
     "protect.exe launched successfully from <C>\n",
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
  box.UseMachine(ThreeDisplays());
  // Set in the launching program's environment only: a user-session start
  // must not see it, a direct one inherits it.
  box.SetEnv(sim::kProbeVariable, L"1");
  if (c.ordinaryAccount) box.SetEnv(L"DPSIM_ACCOUNT", L"user");
  box.ProbeWhatStartsInherit();

  const RunResult r = box.Run("displayprep-sim.exe");
  ASSERT_TRUE(r.started);
  EXPECT_EQ(r.exitCode, 0u) << r.output;
  const std::vector<sim::StartRecord> starts = box.CompanionStarts();
  ASSERT_EQ(starts.size(), c.started == CompanionCase::kNone ? 0u : 1u);
  // The program, its console's host and the companion, nothing else.
  EXPECT_EQ(r.processesStarted, starts.size() + 2) << "the program and its companion only";

  const std::string path = box.Companion();
  const std::string quoted = path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
  std::string want = dptest::Expand(c.log, {{"<C>", path}, {"<Q>", quoted}});
  if (!starts.empty())
    want = dptest::Expand(want, {{"<PID>", std::to_string(starts[0].processId)}});
  const std::string log = dptest::StripLogPrefixes(dptest::ReadFileBytes(box.LogFile()));
  if (want.find("<ERR>") != std::string::npos) {
    std::string pattern = std::regex_replace("too many monitor found.\n" + want,
                                             std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    pattern = dptest::Expand(pattern, {{"<ERR>", "(\\d+)"}});
    pattern.replace(pattern.rfind("(\\d+)"), 5, "\\1");
    EXPECT_TRUE(std::regex_match(log, std::regex(pattern))) << log << "\nwanted: " << pattern;
  } else {
    EXPECT_EQ(log, "too many monitor found.\n" + want);
  }
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
  ASSERT_TRUE(dptest::WriteFileBytes(box.File("edid\\readme.hex"), "not a profile"));
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

  auto esc = [](const std::string& text) {
    return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
  };
  const std::string d = box.dir();
  const std::string chosen = d + "\\edid\\2560x1440x60.hex";
  const std::string display = R"(\[0\] \\\\\.\\DISPLAY\d+ .* \(\d+x\d+\) \[Active\] \[Primary\])";
  std::vector<std::string> want = {
      esc("Reading config file: " + box.appdata() + "\\harnfold\\store.dat"),
      esc("Target config: width=2560, height=1440, fps=60"),
      esc("Searching in directory: " + d + "\\edid"),
      esc("Found file: 2560x1440x60.hex --> w=2560, h=1440, fps=60, distance=0"),
      "",
      esc("Closest file: 2560x1440x60.hex (distance=0)"),
      esc("Selected hex file: " + chosen),
      esc("edid's monitor name is DP Virtual."),
      esc("edid's monitor name change to TovikMonitor."),
      esc("Successfully changed EDID monitor name in file: " + chosen),
      esc("Launching wkex.exe with command: " + d + "\\wkex.exe /d " + chosen),
      esc("wkex.exe launched successfully from " + d + "\\wkex.exe"),
  };
  for (int attempt = 1; attempt <= 5; ++attempt) {
    want.push_back(esc("Available displays (retry " + std::to_string(attempt) + "):"));
    want.push_back(display);
    want.push_back(esc("only 1 display."));
    want.push_back(esc("[Info] Force Extend mode success."));
  }
  want.push_back(esc("ERROR: After 5 retries, still detected inactive displays, abort."));
  want.push_back(esc("create process success, command_line:" + box.Companion() +
                     ", process_id:" + std::to_string(companion[0].processId) + "."));

  const std::string log = dptest::StripLogPrefixes(dptest::ReadFileBytes(box.LogFile()));
  std::vector<std::string> lines;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), want.size()) << log;
  for (std::size_t i = 0; i < want.size(); ++i)
    EXPECT_TRUE(std::regex_match(lines[i], std::regex(want[i])))
        << "line " << i + 1 << ": " << lines[i] << "\nwanted: " << want[i];
  EXPECT_NE(log.back(), '\n') << "the last message has no line end of its own";

  EXPECT_EQ(helper[0].commandLine, d + "\\wkex.exe /d " + chosen);
  EXPECT_EQ(helper[0].currentDirectory, d);
  EXPECT_EQ(companion[0].desktop, "winsta0\\default");
  EXPECT_EQ(companion[0].arguments, std::vector<std::string>{box.Companion()});
  EXPECT_EQ(box.EdidFiles().at("2560x1440x60.hex").size(), 128u);
}

}  // namespace
