#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>

#include "support/sandbox.h"
#include "support/sim_support.h"

namespace {

using dptest::Sandbox;

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { box_.Install("displayprep-sim.exe"); }
  Sandbox box_;
};

// No companion stands beside the program in these runs: each ends with the
// two launches' not-found lines.
using dptest::kNoCompanion;

TEST_F(EndToEnd, ThreeDisplaysWithArgumentsAreLeftAlone) {
  box_.UseMachine(dptest::ThreeDisplays());
  const RunResult r = box_.Run("displayprep-sim.exe", {L"--force", L"/primary", L"extra argument"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output, box_.Expand(std::regex_replace("too many monitor found.\n" + kNoCompanion,
                                                     std::regex("\n"), "\r\n")))
      << "the bare messages, no prefix";
  // In the file each message has a prefix of its own, and text mode stored "\n" as CR LF.
  const std::string p = dptest::kLogPrefixPattern;
  EXPECT_TRUE(dptest::MatchesWith(
      dptest::ReadFileBytes(box_.LogFile()),
      box_.Expand("<1>too many monitor found.\r\n<2>Target executable not found: <C><3>create user "
                  "process failed. \r\n<4>Target executable not found: <C>\r\n"),
      {{"<1>", p}, {"<2>", p}, {"<3>", p}, {"<4>", p}}));
  EXPECT_TRUE(box_.Machine().setCalls.empty());
}

TEST_F(EndToEnd, WithoutAppDataTheLogLiesBesideTheProgram) {
  box_.UseMachine(dptest::ThreeDisplays());
  const RunResult r = box_.Run("displayprep-sim.exe", {}, false);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(dptest::StripLogPrefixes(dptest::ReadFileBytes(box_.File("display.log"))),
            box_.Expand("too many monitor found.\n" + kNoCompanion));
  // No data directory, none created: neither at the root of the drive (where
  // an empty one would lead) nor where the program ran.
  EXPECT_EQ(GetFileAttributesA("C:\\harnfold"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((box_.workingDirectory() + "\\harnfold").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

// Machines with two displays or one that stays alone: each run judged by a
// line of its log and its end, and by what the machine shows afterwards: the
// SetDisplayConfig calls (the extend requests, then the layout supplied and
// saved), the saves to the display database, the primary source and the
// layout (a line per path).
struct Arrangement {
  const char* name;
  sim::Machine machine;
  std::string logged;  // before `last`
  std::string last;    // the run's last line before the companion's
  unsigned extends;
  bool layoutSaved;
  uint32_t primarySource;
  std::string layout;
};

const std::string kPrimary = "Primary display successfully set to \"TovikMonitor\"\n";
const std::string kTovikFirst = "TovikMonitor 1920x1080 at (0,0)\nDELL U2720Q ";

const Arrangement kArrangements[] = {
    {"VirtualMonitorAlreadyPrimary",
     dptest::SideBySide({{"TovikMonitor"}, {"DELL U2720Q", 2560, 1440}}), "",
     "Target display \"TovikMonitor\" is already primary, no change.\n", 0, false, 0,
     kTovikFirst + "2560x1440 at (1920,0)\n"},
    {"VirtualMonitorRightOfAPhysicalPrimaryIsSwitched",
     dptest::SideBySide({{"DELL U2720Q", 2560, 1440}, {"TovikMonitor"}}), "", kPrimary, 0, true, 1,
     kTovikFirst + "2560x1440 at (1920,0)\n"},
    // Each on a source of its own, the virtual monitor primary.
    {"CloneIsExtendedAndArranged", dptest::Cloned({{"DELL U2720Q"}, {"TovikMonitor"}}),
     "is clone mode, forcing to Extend mode...\n", kPrimary, 1, true, 1,
     kTovikFirst + "1920x1080 at (1920,0)\n"},
    {"TargetThatNeverAppearsAbortsAfterFiveAttempts", dptest::SideBySide({{"DELL P240"}}),
     "Available displays (retry 5):\n",
     "ERROR: After 5 retries, still detected inactive displays, abort.\n", 5, false, 0,
     "DELL P240 1920x1080 at (0,0)\n"},
};

class Arrangements : public EndToEnd, public ::testing::WithParamInterface<Arrangement> {};

TEST_P(Arrangements, LogSetCallsAndLayout) {
  const Arrangement& c = GetParam();
  box_.UseMachine(c.machine);
  RunResult r;
  const std::string log = box_.RunForLog("displayprep-sim.exe", &r);
  EXPECT_TRUE(box_.InOrder(log, {c.logged, c.last + kNoCompanion}));
  EXPECT_THAT(log, ::testing::EndsWith(box_.Expand(c.last + kNoCompanion))) << log;
  EXPECT_EQ(dptest::StripLogPrefixes(r.output), log) << "console and file carry the same messages";
  const sim::Machine after = box_.Machine();
  std::vector<UINT32> flags(c.extends, dptest::kSdcExtend);
  if (c.layoutSaved) flags.push_back(dptest::kSdcSuppliedSaved);
  EXPECT_EQ(dptest::SetCallFlags(after), flags);
  EXPECT_EQ(after.databaseSaves, c.layoutSaved ? 1u : 0u);
  EXPECT_EQ(sim::PrimarySourceId(after), std::optional<uint32_t>(c.primarySource));
  EXPECT_EQ(dptest::Layout(after), c.layout) << sim::RenderDesktop(after);
  EXPECT_EQ(after.paths.size(),
            static_cast<std::size_t>(std::count(c.layout.begin(), c.layout.end(), '\n')));
}

INSTANTIATE_TEST_SUITE_P(Machines, Arrangements, ::testing::ValuesIn(kArrangements),
                         dptest::ByName);

}  // namespace
