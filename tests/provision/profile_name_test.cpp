// Which file names name a profile, the mode they name, and how far it lies
// from the mode wanted.
#include "provision/profile_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  const char* name;
  ProfileNameMatch match;
  int width = 0, height = 0, fps = 0;
};

using enum ProfileNameMatch;

void PrintTo(const NameCase& c, std::ostream* os) { *os << (*c.name ? c.name : "(empty)"); }

class ParseProfileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ParseProfileNameTest, MatchesWholeNameOnly) {
  const NameCase& c = GetParam();
  EdidProfile profile;
  ASSERT_EQ(ParseProfileName(c.name, profile), c.match);
  if (c.match == kMatch) {
    EXPECT_EQ(profile.name, c.name);
    EXPECT_EQ(profile.width, c.width);
    EXPECT_EQ(profile.height, c.height);
    EXPECT_EQ(profile.fps, c.fps);
  }
}

INSTANTIATE_TEST_SUITE_P(Names, ParseProfileNameTest,
                         ::testing::Values(NameCase{"1920x1080x60.hex", kMatch, 1920, 1080, 60},
                                           NameCase{"0001x0x0060.hex", kMatch, 1, 0, 60},
                                           NameCase{"2147483647x2147483647x2147483647.hex", kMatch,
                                                    2147483647, 2147483647, 2147483647},
                                           NameCase{"2147483648x1x1.hex", kOutOfRange},
                                           NameCase{"1x1x99999999999999999999999.hex", kOutOfRange},
                                           NameCase{"1920x1080x60.HEX", kNoMatch},
                                           NameCase{"1920X1080x60.hex", kNoMatch},
                                           NameCase{"a1920x1080x60.hex", kNoMatch},
                                           NameCase{"1920x1080x60.hex~", kNoMatch},
                                           NameCase{"1920x1080x60hex", kNoMatch},
                                           NameCase{"", kNoMatch}));

TEST(ParseProfileNameTest, LongestFileNameNeitherThrowsNorMatches) {
  EdidProfile profile;
  EXPECT_EQ(ParseProfileName(std::string(251, '9') + ".hex", profile), kNoMatch);
  EXPECT_EQ(
      ParseProfileName(std::string(120, '1') + "x" + std::string(120, '2') + "x3.hex", profile),
      kOutOfRange);
}

struct DistanceCase {
  std::int32_t w, h, f;     // from the name
  std::int32_t tw, th, tf;  // wanted
  const char* expected;
};

void PrintTo(const DistanceCase& c, std::ostream* os) { *os << c.expected; }

class ProfileDistanceTest : public ::testing::TestWithParam<DistanceCase> {};

TEST_P(ProfileDistanceTest, IsExactSumOfSquares) {
  const DistanceCase& c = GetParam();
  const EdidProfile profile{"", c.w, c.h, c.f, {}};
  EXPECT_EQ(ToString(ComputeProfileDistance(profile, c.tw, c.th, c.tf)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileDistanceTest,
    ::testing::Values(DistanceCase{1920, 1080, 60, 1920, 1080, 60, "0"},
                      DistanceCase{2560, 1440, 60, 1920, 1080, 60, "539200"},
                      DistanceCase{1920, 1080, 30, 1920, 1080, 60, "900"},
                      DistanceCase{0, 0, 0, 46341, 0, 0, "2147488281"},
                      DistanceCase{2147483647, 0, 0, -2147483647 - 1, 0, 0, "18446744065119617025"},
                      DistanceCase{2147483647, 2147483647, 0, -2147483647 - 1, -2147483647 - 1, 0,
                                   "36893488130239234050"},
                      DistanceCase{2147483647, 2147483647, 2147483647, -2147483647 - 1,
                                   -2147483647 - 1, -2147483647 - 1, "55340232195358851075"}));

TEST(ProfileDistanceOrderTest, CarriedSumsCompareAboveEveryPlainOne) {
  const ProfileDistance plain{0, UINT64_MAX};
  const ProfileDistance carried{1, 0};
  EXPECT_LT(plain, carried);
  EXPECT_LT((ProfileDistance{1, 5}), (ProfileDistance{2, 0}));
  EXPECT_EQ(ToString(carried), "18446744073709551616");
}

}  // namespace
