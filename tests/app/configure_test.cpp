#include "app/configure.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include "fake_wait/fake_wait.h"
#include "support/app_data.h"
#include "support/sim_fixture.h"

namespace {

using dptest::Idle;
using ::testing::HasSubstr;

using dptest::Link;
using dptest::Monitor;
using dptest::Shown;

class ConfigureTest : public dptest::SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    RecordedWaits().clear();
  }
};

TEST_F(ConfigureTest, ThreeOrMoreListedPathsChangeNothing) {
  // Three listed records on two desktops (two of them a clone): the records
  // are counted, not the views. Windows lists no inactive record (an inactive
  // path has no source mode), so records and active records are the same
  // count there; a third target with an inactive path adds no record.
  sim::Machine m;
  m.targets = {Monitor(1, "A"), Monitor(2, "B"), Monitor(3, "TovikMonitor"), Monitor(4, "Off")};
  m.sources = {Shown(0, 1920, 1080, 0, 0), Shown(1, 1920, 1080, 1920, 0), Idle(2)};
  m.paths = {Link(0, 1), Link(0, 2), Link(1, 3), Link(2, 4)};
  m.paths[3].active = false;
  Use(m);
  EXPECT_EQ(ConfigureDisplays(), -1);
  EXPECT_EQ(log_.Messages(), "too many monitor found.\n");
  EXPECT_TRUE(Now().setCalls.empty());
  EXPECT_TRUE(RecordedWaits().empty());
}

TEST_F(ConfigureTest, TwoListedPathsGoToTheArrangement) {
  Use(dptest::SideBySide({{"TovikMonitor"}, {"DELL"}}));
  EXPECT_EQ(ConfigureDisplays(), 0);
  EXPECT_THAT(log_.Messages(), HasSubstr("is already primary, no change.\n"));
}

TEST_F(ConfigureTest, FailedFirstListingProvisionsThenTheLoopEndsAtOnce) {
  // The settings come from a folder of the test's own; this program's folder
  // has no edid profiles, so nothing is chosen and no helper is started.
  const std::string appdata = dir_.File("appdata");
  const dptest::ScopedAppData scoped(appdata);
  sim::Machine m;  // no display at all
  Use(m);
  EXPECT_EQ(ConfigureDisplays(), -1);
  const std::string failed = "No displays detected.\nEnumerateDisplays failed.\n";
  const std::string log = log_.Messages();
  EXPECT_THAT(log, ::testing::StartsWith(failed + "File does not exist: " + appdata +
                                         "\\harnfold\\store.dat\n"));
  EXPECT_THAT(
      log, ::testing::EndsWith("LaunchKexWithHex: best_hex is empty, skip launching.\n" + failed));
  EXPECT_TRUE(RecordedWaits().empty());
}

}  // namespace
