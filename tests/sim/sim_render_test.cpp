// The desktop picture puts each display where it is and says what it is.
#include <gmock/gmock.h>

#include <sstream>

#include "support/sim_support.h"

namespace {

using ::testing::HasSubstr;

using dptest::BuiltIn;

struct Spot {
  int line = -1;
  int column = -1;
};

Spot Find(const std::string& picture, const std::string& text) {
  std::istringstream in(picture);
  std::string row;
  for (int line = 0; std::getline(in, row); ++line) {
    const size_t at = row.find(text);
    if (at != std::string::npos) return Spot{line, static_cast<int>(at)};
  }
  return Spot{};
}

TEST(RenderTest, DisplaysStandWhereTheyAreOnTheDesktop) {
  const std::string picture = sim::RenderDesktop(BuiltIn("two-extend-primary"));
  SCOPED_TRACE(picture);
  const Spot tovik = Find(picture, "|\\\\.\\DISPLAY2 [primary]");
  const Spot dell = Find(picture, "|\\\\.\\DISPLAY1");
  ASSERT_GE(tovik.line, 0);
  ASSERT_GE(dell.line, 0);
  EXPECT_EQ(tovik.column, 0) << "the primary is leftmost";
  EXPECT_EQ(dell.line, tovik.line) << "top edges aligned";
  EXPECT_GT(dell.column, tovik.column + 20);
  EXPECT_EQ(Find(picture, "TovikMonitor").line, tovik.line + 1);
  EXPECT_EQ(Find(picture, "2560x1440 at (0,0)").line, tovik.line + 2);
  EXPECT_EQ(Find(picture, "1920x1080 at (2560,0)").column, dell.column + 1);
  EXPECT_THAT(
      picture,
      HasSubstr(
          "  \\\\.\\DISPLAY2  2560x1440 at (0,0)  \"TovikMonitor\" (target 4353)  [primary]\n"));
  EXPECT_THAT(picture, HasSubstr("Inactive targets: none\n"));
}

TEST(RenderTest, ARowOfThreeReadsLeftToRight) {
  const std::string picture = sim::RenderDesktop(BuiltIn("three-displays"));
  SCOPED_TRACE(picture);
  const Spot dell = Find(picture, "DELL U2720Q");
  const Spot lg = Find(picture, "LG HDR 4K");
  const Spot tovik = Find(picture, "TovikMonitor");
  EXPECT_EQ(dell.line, lg.line);
  EXPECT_EQ(lg.line, tovik.line);
  EXPECT_LT(dell.column, lg.column);
  EXPECT_LT(lg.column, tovik.column);
  std::istringstream in(picture);
  std::string row;
  std::getline(in, row);  // heading
  std::getline(in, row);  // top border
  for (char c : row) EXPECT_TRUE(c == '+' || c == '-') << row;
}

TEST(RenderTest, CloneInactiveAndUnpluggedAreSaid) {
  struct Case {
    const char* what;
    sim::Machine machine;
    std::vector<std::string> says;
  };
  sim::Machine pulled = dptest::SideBySide({{"Gone"}});
  pulled.targets[0].available = false;
  pulled.targets.push_back(dptest::Monitor(2, "Spare"));
  sim::Machine offset = dptest::SideBySide({{"Upper", 1280, 1024}, {"Lower"}});
  // Nothing at (0,0), one display above and left.
  offset.sources = {dptest::Shown(0, 1280, 1024, -1280, -1024), dptest::Shown(1, 1920, 1080, 0, 5)};
  const Case cases[] = {
      {"clone",
       BuiltIn("two-clone"),
       {"DELL U2720Q + TovikMonitor", "[clone]", "\\\\.\\DISPLAY1 [primary]"}},
      {"inactive",
       BuiltIn("two-one-inactive"),
       {"Inactive targets:\n  \"TovikMonitor\" (target 4353, connected)\n"}},
      {"nothing", BuiltIn("no-display"), {"No active display.\n", "Inactive targets: none\n"}},
      {"pulled", pulled, {"\"Gone\" (target 1, not connected)", "\"Spare\" (target 2, connected)"}},
      {"offset", offset, {"Desktop 3200x2109", "Upper", "1920x1080 at (0,5)"}},
  };
  for (const Case& c : cases) {
    const std::string picture = sim::RenderDesktop(c.machine);
    SCOPED_TRACE(std::string(c.what) + "\n" + picture);
    for (const std::string& text : c.says) EXPECT_THAT(picture, HasSubstr(text)) << text;
    EXPECT_EQ(picture.find("[primary]") != std::string::npos,
              sim::PrimarySourceId(c.machine).has_value());
  }
}

TEST(RenderTest, RecordedCallsAreListedWithTheirArrays) {
  DISPLAYCONFIG_PATH_INFO p{};
  p.sourceInfo.id = 1;
  p.sourceInfo.modeInfoIdx = 0;
  p.targetInfo.id = 4353;
  p.targetInfo.modeInfoIdx = DISPLAYCONFIG_PATH_MODE_IDX_INVALID;
  p.targetInfo.targetAvailable = TRUE;
  p.flags = DISPLAYCONFIG_PATH_ACTIVE;
  DISPLAYCONFIG_MODE_INFO mode{};
  mode.infoType = DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE;
  mode.id = 1;
  mode.sourceMode = {2560, 1440, {}, {-5, 7}};
  sim::Machine m;
  m.setCalls = {{.flags = 0x2A0,
                 .numPathArrayElements = 1,
                 .numModeInfoArrayElements = 1,
                 .paths = {p},
                 .modes = {mode},
                 .result = 87}};
  EXPECT_EQ(sim::DescribeSetCalls(m),
            "SetDisplayConfig call 1: flags 0x2A0, 1 paths, 1 modes -> 87\n"
            "  path 0: source 1 (mode 0) -> target 4353 (mode invalid) active\n"
            "  mode 0: source 1 2560x1440 at (-5,7)\n");
  EXPECT_EQ(sim::DescribeSetCalls(sim::Machine{}), "No SetDisplayConfig call recorded.\n");
}

}  // namespace
