#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "sandbox.h"
#include "support/log_capture.h"
#include "support/sim_fixture.h"

namespace {

using ::testing::HasSubstr;

using dptest::Idle;
using dptest::Link;
using dptest::Monitor;
using dptest::Shown;

constexpr UINT32 kSupplied = 0x2A0;

sim::Machine Physical(uint32_t n) {
  sim::Machine m;
  for (uint32_t i = 0; i < n; ++i) {
    m.targets.push_back(Monitor(i + 1, "DELL P24" + std::to_string(i)));
    m.sources.push_back(Shown(i, 1920, 1080, static_cast<int32_t>(1920 * i), 0));
    m.paths.push_back(Link(i, i + 1));
  }
  return m;
}

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { box_.Install("displayprep-sim.exe"); }

  RunResult Run(const std::vector<std::wstring>& args = {}) {
    RunResult r = box_.Run("displayprep-sim.exe", args);
    EXPECT_TRUE(r.started) << "error " << r.startError;
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u) << r.output;
    // Standard output is in text mode, as on Windows: lines end in CR LF.
    r.output = dptest::StripLogPrefixes(r.output);
    return r;
  }
  std::string LogText() const {
    return dptest::StripLogPrefixes(dptest::ReadFileBytes(box_.LogFile()));
  }

  Sandbox box_;
};

// No companion stands beside the program in these runs: each ends with the
// two launches' not-found lines.
std::string NoCompanion(const Sandbox& box, const std::string& eol) {
  const std::string c = box.Companion();
  return "Target executable not found: " + c + "create user process failed. " + eol +
         "Target executable not found: " + c + eol;
}

TEST_F(EndToEnd, ThreeDisplaysWithArgumentsAreLeftAlone) {
  box_.UseMachine(Physical(3));
  const RunResult r = box_.Run("displayprep-sim.exe", {L"--force", L"/primary", L"extra argument"});
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(r.output, "too many monitor found.\r\n" + NoCompanion(box_, "\r\n"))
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
  box_.UseMachine(Physical(3));
  const RunResult r = box_.Run("displayprep-sim.exe", {}, false);
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_EQ(dptest::StripLogPrefixes(dptest::ReadFileBytes(box_.File("display.log"))),
            "too many monitor found.\n" + NoCompanion(box_, "\n"));
  // No data directory, none created: neither at the root of the drive (where
  // an empty one would lead) nor where the program ran.
  EXPECT_EQ(GetFileAttributesA("C:\\harnfold"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA((box_.workingDirectory() + "\\harnfold").c_str()),
            INVALID_FILE_ATTRIBUTES);
}

TEST_F(EndToEnd, VirtualMonitorAlreadyPrimary) {
  sim::Machine m;
  m.targets = {Monitor(1, "TovikMonitor"), Monitor(2, "DELL U2720Q")};
  m.sources = {Shown(0, 1920, 1080, 0, 0), Shown(1, 2560, 1440, 1920, 0)};
  m.paths = {Link(0, 1), Link(1, 2)};
  box_.UseMachine(m);
  const RunResult r = Run();
  EXPECT_THAT(r.output,
              HasSubstr("Target display \"TovikMonitor\" is already primary, no change.\n"))
      << r.output;
  EXPECT_EQ(LogText(), r.output) << "console and file carry the same messages";
  EXPECT_TRUE(box_.Machine().setCalls.empty());
}

TEST_F(EndToEnd, VirtualMonitorRightOfAPhysicalPrimaryIsSwitched) {
  sim::Machine m;
  m.targets = {Monitor(1, "DELL U2720Q"), Monitor(2, "TovikMonitor")};
  m.sources = {Shown(0, 2560, 1440, 0, 0), Shown(1, 1920, 1080, 2560, 0)};
  m.paths = {Link(0, 1), Link(1, 2)};
  box_.UseMachine(m);
  const RunResult r = Run();
  EXPECT_THAT(r.output, HasSubstr("Primary display successfully set to \"TovikMonitor\"\n"))
      << r.output;
  const sim::Machine after = box_.Machine();
  ASSERT_EQ(after.setCalls.size(), 1u);
  EXPECT_EQ(after.setCalls[0].flags, kSupplied);
  EXPECT_EQ(after.databaseSaves, 1u);
  EXPECT_EQ(sim::PrimarySourceId(after), std::optional<uint32_t>(1u));
  EXPECT_EQ(after.sources[0].mode->x, 1920);
  const std::string picture = sim::RenderDesktop(after);
  EXPECT_THAT(picture, HasSubstr("TovikMonitor"));
}

TEST_F(EndToEnd, CloneIsExtendedAndArranged) {
  sim::Machine m;
  m.targets = {Monitor(1, "DELL U2720Q"), Monitor(2, "TovikMonitor")};
  m.sources = {Shown(0, 1920, 1080, 0, 0), Idle(1)};
  m.paths = {Link(0, 1), Link(0, 2)};
  box_.UseMachine(m);
  const RunResult r = Run();
  EXPECT_THAT(r.output, HasSubstr("is clone mode, forcing to Extend mode...\n"));
  EXPECT_THAT(r.output, HasSubstr("Primary display successfully set to \"TovikMonitor\"\n"))
      << r.output;
  const sim::Machine after = box_.Machine();
  ASSERT_EQ(after.paths.size(), 2u);
  EXPECT_NE(after.paths[0].sourceId, after.paths[1].sourceId) << sim::RenderDesktop(after);
  const auto primary = sim::PrimarySourceId(after);
  ASSERT_TRUE(primary.has_value());
  for (const auto& p : after.paths) {
    if (p.targetId == 2) {
      EXPECT_EQ(p.sourceId, *primary) << sim::RenderDesktop(after);
    }
  }
}

TEST_F(EndToEnd, TargetThatNeverAppearsAbortsAfterFiveAttempts) {
  box_.UseMachine(Physical(1));
  const RunResult r = Run();
  EXPECT_THAT(r.output, HasSubstr("Available displays (retry 5):\n"));
  const std::string ending = "ERROR: After 5 retries, still detected inactive displays, abort.\n" +
                             NoCompanion(box_, "\n");
  ASSERT_GE(r.output.size(), ending.size());
  EXPECT_EQ(r.output.substr(r.output.size() - ending.size()), ending);
  EXPECT_EQ(box_.Machine().setCalls.size(), 5u);
}

}  // namespace
