#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/sandbox.h"
#include "support/sim_support.h"

namespace {

using ::testing::HasSubstr;

using dptest::Sandbox;

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { box_.Install("displayprep-sim.exe"); }

  RunResult Run(const std::vector<std::wstring>& args = {}) {
    RunResult r = box_.Run("displayprep-sim.exe", args);
    EXPECT_TRUE(dptest::Ended(r));
    // Standard output is in text mode, as on Windows: lines end in CR LF.
    r.output = dptest::StripLogPrefixes(r.output);
    return r;
  }

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
  const std::string raw = dptest::ReadFileBytes(box_.LogFile());
  const std::string prefix = dptest::kLogPrefixPattern;
  const std::string c = std::regex_replace(box_.Companion(), std::regex(R"(\\)"), R"(\\)");
  EXPECT_TRUE(std::regex_match(raw, std::regex(prefix + R"(too many monitor found\.\r\n)" + prefix +
                                               "Target executable not found: " + c + prefix +
                                               R"(create user process failed\. \r\n)" + prefix +
                                               "Target executable not found: " + c + R"(\r\n)")))
      << raw;
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

TEST_F(EndToEnd, VirtualMonitorAlreadyPrimary) {
  box_.UseMachine(dptest::SideBySide({{"TovikMonitor"}, {"DELL U2720Q", 2560, 1440}}));
  const RunResult r = Run();
  EXPECT_THAT(r.output,
              HasSubstr("Target display \"TovikMonitor\" is already primary, no change.\n"))
      << r.output;
  EXPECT_EQ(box_.Log(), r.output) << "console and file carry the same messages";
  EXPECT_TRUE(box_.Machine().setCalls.empty());
}

TEST_F(EndToEnd, VirtualMonitorRightOfAPhysicalPrimaryIsSwitched) {
  box_.UseMachine(dptest::SideBySide({{"DELL U2720Q", 2560, 1440}, {"TovikMonitor"}}));
  const RunResult r = Run();
  EXPECT_THAT(r.output, HasSubstr("Primary display successfully set to \"TovikMonitor\"\n"))
      << r.output;
  const sim::Machine after = box_.Machine();
  ASSERT_EQ(after.setCalls.size(), 1u);
  EXPECT_EQ(after.setCalls[0].flags, dptest::kSdcSuppliedSaved);
  EXPECT_EQ(after.databaseSaves, 1u);
  EXPECT_EQ(sim::PrimarySourceId(after), std::optional<uint32_t>(1u));
  EXPECT_EQ(after.sources[0].mode->x, 1920);
  const std::string picture = sim::RenderDesktop(after);
  EXPECT_THAT(picture, HasSubstr("TovikMonitor"));
}

TEST_F(EndToEnd, CloneIsExtendedAndArranged) {
  box_.UseMachine(dptest::Cloned({{"DELL U2720Q"}, {"TovikMonitor"}}));
  const RunResult r = Run();
  EXPECT_THAT(r.output, HasSubstr("is clone mode, forcing to Extend mode...\n"));
  EXPECT_THAT(r.output, HasSubstr("Primary display successfully set to \"TovikMonitor\"\n"))
      << r.output;
  // Each on a source of its own, the virtual monitor primary.
  const sim::Machine after = box_.Machine();
  ASSERT_EQ(after.paths.size(), 2u);
  EXPECT_EQ(dptest::Layout(after),
            "TovikMonitor 1920x1080 at (0,0)\nDELL U2720Q 1920x1080 at (1920,0)\n")
      << sim::RenderDesktop(after);
}

TEST_F(EndToEnd, TargetThatNeverAppearsAbortsAfterFiveAttempts) {
  box_.UseMachine(dptest::SideBySide({{"DELL P240"}}));
  const RunResult r = Run();
  EXPECT_THAT(r.output, HasSubstr("Available displays (retry 5):\n"));
  EXPECT_THAT(r.output, ::testing::EndsWith(box_.Expand(
                            "ERROR: After 5 retries, still detected inactive displays, abort.\n" +
                            kNoCompanion)));
  EXPECT_EQ(box_.Machine().setCalls.size(), 5u);
}

}  // namespace
