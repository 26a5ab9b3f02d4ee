#include "provision/edid_profile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class SelectEdidProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_.exeDir = exeDir_.path();
    ASSERT_TRUE(CreateDirectoryA(EdidDir().c_str(), nullptr));
  }

  std::string EdidDir() const { return exeDir_.path() + "\\edid"; }

  void AddFile(const std::string& name) {
    ASSERT_TRUE(dptest::WriteFileBytes(EdidDir() + "\\" + name, "")) << name;
  }
  void AddDirectory(const std::string& name) {
    ASSERT_TRUE(CreateDirectoryA((EdidDir() + "\\" + name).c_str(), nullptr)) << name;
  }

  // The order in which the directory search returns the entries: the
  // selection must follow it, whatever it is on this file system.
  std::vector<std::string> SearchOrder() const { return dptest::FindNames(EdidDir() + "\\*.hex"); }

  // The log expected when every entry in `found` (name -> "w=.., h=.., fps=.., distance=..")
  // is reported in search order and `best` wins.
  std::string ExpectedLog(const std::map<std::string, std::string>& found, const std::string& best,
                          const std::string& bestDistance) const {
    std::string log = "Searching in directory: " + EdidDir() + "\n";
    for (const std::string& name : SearchOrder()) {
      auto it = found.find(name);
      if (it != found.end()) log += "Found file: " + name + " --> " + it->second + "\n";
    }
    return log + "\nClosest file: " + best + " (distance=" + bestDistance + ")\n";
  }

  // Searches an edid directory holding `files` for the mode wished; expects
  // `chosen` (empty: nothing) and returns the log.
  std::string Choose(const std::vector<std::string>& files, int width, int height, int fps,
                     const std::string& chosen) {
    for (const std::string& name : files) AddFile(name);
    target_ = {width, height, fps, target_.exeDir};
    dptest::LogCapture log;
    EXPECT_EQ(SelectEdidProfile(target_), chosen.empty() ? "" : EdidDir() + "\\" + chosen);
    return log.Messages();
  }

  // The log of a search that found no profile in `dir`: no .hex file there,
  // unless `why` says otherwise.
  static std::string NothingFound(const std::string& dir, std::string why = "") {
    if (why.empty()) why = "No .hex files found in directory: " + dir + "\n";
    return "Searching in directory: " + dir + "\n" + why + "No matching .hex files found.\n";
  }

  dptest::TempDir exeDir_;
  TargetMode target_;
};

TEST_F(SelectEdidProfileTest, PicksTheClosestAndSkipsOtherNamesSilently) {
  const std::string log = Choose(
      {"1920x1080x60.hex", "2560x1440x60.hex", "1920x1080x30.hex", "readme.hex"}, 1920, 1080, 60,
      "1920x1080x60.hex");  // the expected log follows the search's order: read it afterwards
  EXPECT_EQ(log, ExpectedLog({{"1920x1080x60.hex", "w=1920, h=1080, fps=60, distance=0"},
                              {"2560x1440x60.hex", "w=2560, h=1440, fps=60, distance=539200"},
                              {"1920x1080x30.hex", "w=1920, h=1080, fps=30, distance=900"}},
                             "1920x1080x60.hex", "0"));
}

// Names the search may return but that are no profile: the whole name must match,
// case-sensitively, digits only.
class NotAProfileTest : public SelectEdidProfileTest,
                        public ::testing::WithParamInterface<const char*> {};

TEST_P(NotAProfileTest, IsSkippedWithoutAMessage) {
  const std::string messages = Choose({GetParam()}, 1920, 1080, 60, "");
  EXPECT_THAT(messages, Not(HasSubstr("Found file")));
  EXPECT_THAT(messages, Not(HasSubstr("Skipping")));
  EXPECT_THAT(messages, ::testing::EndsWith("No matching .hex files found.\n"));
}

INSTANTIATE_TEST_SUITE_P(Names, NotAProfileTest,
                         ::testing::Values("edid_1920x1080x60.hex", "1920x1080x60.hex.bak",
                                           "1920x1080x60.hexx", "1920X1080x60.hex",
                                           "1920x1080X60.hex", "1920x1080x60.HEX",
                                           "1920x1080x60.Hex", "x1080x60.hex", "1920x1080x.hex",
                                           "+1920x1080x60.hex", "-1x1080x60.hex",
                                           "1920x1080x60 .hex", "1920x1080x60x1.hex",
                                           "1920.0x1080x60.hex", "0x1920x1080x60.hex"));

TEST_F(SelectEdidProfileTest, SubdirectoryNamedLikeAProfileIsScored) {
  AddDirectory("2560x1440x60.hex");
  const std::string log = Choose({"1280x720x60.hex"}, 2560, 1440, 60, "2560x1440x60.hex");
  EXPECT_EQ(log, ExpectedLog({{"2560x1440x60.hex", "w=2560, h=1440, fps=60, distance=0"},
                              {"1280x720x60.hex", "w=1280, h=720, fps=60, distance=2156800"}},
                             "2560x1440x60.hex", "0"));
}

// Equally close profiles: the first that the search returns wins, also at
// distance 0, and leading zeros count as the same number.
struct TieCase {
  const char* label;
  std::vector<std::string> names;
  std::string distance;
};

void PrintTo(const TieCase& c, std::ostream* os) { *os << c.label; }

class TieTest : public SelectEdidProfileTest, public ::testing::WithParamInterface<TieCase> {};

TEST_P(TieTest, FirstReturnedWins) {
  for (const std::string& name : GetParam().names) AddFile(name);
  target_ = {1920, 1080, 60, target_.exeDir};
  const std::vector<std::string> order = SearchOrder();
  ASSERT_EQ(order.size(), GetParam().names.size());
  dptest::LogCapture log;

  EXPECT_EQ(SelectEdidProfile(target_), EdidDir() + "\\" + order.front());
  EXPECT_THAT(log.Messages(), HasSubstr("\nClosest file: " + order.front() +
                                        " (distance=" + GetParam().distance + ")\n"))
      << log.Messages();
}

INSTANTIATE_TEST_SUITE_P(
    Ties, TieTest,
    ::testing::Values(
        TieCase{"OneHertzEitherSide", {"1920x1080x61.hex", "1920x1080x59.hex"}, "1"},
        TieCase{"ZeroDistanceTwice", {"1920x1080x60.hex", "01920x1080x0060.hex"}, "0"},
        TieCase{"ThreeWays", {"1921x1080x60.hex", "1920x1081x60.hex", "1919x1080x60.hex"}, "1"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SelectEdidProfileTest, LeadingZerosAreDecimal) {
  EXPECT_THAT(Choose({"0800x0600x0075.hex"}, 800, 600, 75, "0800x0600x0075.hex"),
              HasSubstr("Found file: 0800x0600x0075.hex --> w=800, h=600, fps=75, distance=0\n"));
}

TEST_F(SelectEdidProfileTest, NoHexEntriesGiveBothMessages) {
  EXPECT_EQ(Choose({"readme.txt"}, 1920, 1080, 60, ""), NothingFound(EdidDir()));
}

TEST_F(SelectEdidProfileTest, MissingDirectoryGivesBothMessages) {
  target_.exeDir = exeDir_.path() + "\\nowhere";
  EXPECT_EQ(Choose({}, 1920, 1080, 60, ""), NothingFound(target_.exeDir + "\\edid"));
}

TEST_F(SelectEdidProfileTest, NumbersBeyond32BitsAreSkippedWithAReason) {
  // The last is the largest that fits.
  const std::string messages =
      Choose({"2147483648x1080x60.hex", "1920x99999999999999999999x60.hex", "2147483647x1x1.hex"},
             1920, 1080, 60, "2147483647x1x1.hex");
  for (const char* skipped : {"2147483648x1080x60.hex", "1920x99999999999999999999x60.hex"}) {
    EXPECT_THAT(messages, HasSubstr(std::string("Skipping file: ") + skipped +
                                    " (a number does not fit a 32-bit integer)\n"))
        << messages;
  }
  // (2147483647 - 1920)^2 + 1079^2 + 59^2, beyond what 32 bits hold.
  EXPECT_THAT(messages, HasSubstr("Found file: 2147483647x1x1.hex --> w=2147483647, h=1, fps=1, "
                                  "distance=4611677767800070251\n"))
      << messages;
}

TEST_F(SelectEdidProfileTest, HugeDistancesRankExactly) {
  // 65536^2 is 2^32: 32-bit arithmetic would make it 0 and prefer it to 1.
  EXPECT_THAT(Choose({"65536x0x0.hex", "1x0x0.hex"}, 0, 0, 0, "1x0x0.hex"),
              HasSubstr("w=65536, h=0, fps=0, distance=4294967296\n"));
}

TEST_F(SelectEdidProfileTest, DistanceBeyond64BitsStillRanksAndPrints) {
  // A wish of the most negative numbers: each square nearly 2^64, the sum beyond it.
  const std::string messages =
      Choose({"2147483647x2147483647x2147483647.hex", "2147483647x2147483647x0.hex"}, INT32_MIN,
             INT32_MIN, INT32_MIN, "2147483647x2147483647x0.hex");
  // 3 * (2^32 - 1)^2 and 2 * (2^32 - 1)^2 + 2^62
  EXPECT_THAT(messages, HasSubstr("distance=55340232195358851075\n"));
  EXPECT_THAT(messages, HasSubstr("\nClosest file: 2147483647x2147483647x0.hex "
                                  "(distance=41505174148666621954)\n"))
      << messages;
}

TEST_F(SelectEdidProfileTest, OnlyAFarProfileIsStillChosen) {
  // 4095^2 * 2 + 999999^2 exceeds the largest signed 32-bit value.
  EXPECT_THAT(Choose({"4096x4096x1000000.hex"}, 1, 1, 1, "4096x4096x1000000.hex"),
              HasSubstr("(distance=1000031538051)\n"));
}

TEST_F(SelectEdidProfileTest, OverlongSearchPatternIsRefusedClearly) {
  // exeDir + "\edid\*.hex" is 261 characters: two more than the buffer allows.
  target_.exeDir = exeDir_.path() + "\\" + std::string(249 - exeDir_.path().size(), 'p');
  const std::string dir = target_.exeDir + "\\edid";
  EXPECT_EQ(Choose({}, 1920, 1080, 60, ""),
            NothingFound(dir, "Search pattern too long (261 characters, at most 259): " + dir +
                                  "\\*.hex\n"));
}

TEST_F(SelectEdidProfileTest, LongestSearchPatternIsSearched) {
  // 259 characters: still searched (the directory does not exist).
  target_.exeDir = exeDir_.path() + "\\" + std::string(247 - exeDir_.path().size(), 'p');
  EXPECT_EQ(Choose({}, 1920, 1080, 60, ""), NothingFound(target_.exeDir + "\\edid"));
}

}  // namespace
