// The pure units: hex text decoding, profile names and distances.
#include "provision/edid_codec.h"

#include <gtest/gtest.h>

#include <string>

#include "provision/profile_name.h"

namespace {

struct HexCase {
  const char* label;
  std::string text;
  std::vector<std::uint8_t> bytes;
};

void PrintTo(const HexCase& c, std::ostream* os) { *os << c.label; }

class DecodeHexTextTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(DecodeHexTextTest, GivesWhatTheDigitRulesGive) {
  const HexCase& c = GetParam();
  EXPECT_EQ(DecodeEdidHexText(c.text.data(), c.text.size()), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DecodeHexTextTest,
    ::testing::Values(
        HexCase{"UpperAndLower", "0FaFAf9a", {0x0F, 0xAF, 0xAF, 0x9A}},
        HexCase{"WhiteSpaceInsideAPair", "0 F\t1\nA\v2\fB\r3 C", {0x0F, 0x1A, 0x2B, 0x3C}},
        HexCase{"LoneDigitAtEndDropped", "ABC", {0xAB}}, HexCase{"NothingButSpace", " \r\n", {}},
        // Not hex: G is 16, so its high digit loses bit 4 to the byte.
        HexCase{"LetterG", "G00G", {0x00, 0x10}},
        // x of a 0x prefix is 33 (0x21): "0x" is 0x21, and "x1" keeps only 0x1 of 0x21 << 4.
        HexCase{"PrefixLetters", "0xx1", {0x21, 0x11}},
        // ',' is 44 - 48 = 252 (0xFC) in 8 bits; as a high digit only its low four bits count.
        HexCase{"Commas", ",,0,", {0xFC, 0xFC}},
        // Between '9' and 'A': above '9', so bit 5 cleared and 55 taken off in
        // 8 bits: ':' (0x3A) gives 0xE3, ';' 0xE4, '@' (0x40) 9.
        HexCase{"BetweenNineAndA", "0:0;0@", {0xE3, 0xE4, 0x09}},
        // A code above 127: (0xE9 & ~0x20) - 55 = 0x92.
        HexCase{"HighCode", "0\xE9", {0x92}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(EdidLengthTest, OnlyPositiveMultiplesOf128AreRaw) {
  for (std::int64_t raw : {128, 256, 384, 1 << 20}) EXPECT_TRUE(IsRawEdidLength(raw)) << raw;
  for (std::int64_t text : {0, 1, 127, 129, 272, 544, -128})
    EXPECT_FALSE(IsRawEdidLength(text)) << text;
}

struct NameCase {
  const char* name;
  ProfileNameMatch match;
  int width, height, fps;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << (*c.name ? c.name : "(empty)"); }

class ParseProfileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ParseProfileNameTest, MatchesWholeNameOnly) {
  const NameCase& c = GetParam();
  EdidProfile profile;
  ASSERT_EQ(ParseProfileName(c.name, profile), c.match);
  if (c.match == ProfileNameMatch::kMatch) {
    EXPECT_EQ(profile.name, c.name);
    EXPECT_EQ(profile.width, c.width);
    EXPECT_EQ(profile.height, c.height);
    EXPECT_EQ(profile.fps, c.fps);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ParseProfileNameTest,
    ::testing::Values(NameCase{"1920x1080x60.hex", ProfileNameMatch::kMatch, 1920, 1080, 60},
                      NameCase{"0001x0x0060.hex", ProfileNameMatch::kMatch, 1, 0, 60},
                      NameCase{"2147483647x2147483647x2147483647.hex", ProfileNameMatch::kMatch,
                               2147483647, 2147483647, 2147483647},
                      NameCase{"2147483648x1x1.hex", ProfileNameMatch::kOutOfRange, 0, 0, 0},
                      NameCase{"1x1x99999999999999999999999.hex", ProfileNameMatch::kOutOfRange, 0,
                               0, 0},
                      NameCase{"1920x1080x60.HEX", ProfileNameMatch::kNoMatch, 0, 0, 0},
                      NameCase{"1920X1080x60.hex", ProfileNameMatch::kNoMatch, 0, 0, 0},
                      NameCase{"a1920x1080x60.hex", ProfileNameMatch::kNoMatch, 0, 0, 0},
                      NameCase{"1920x1080x60.hex~", ProfileNameMatch::kNoMatch, 0, 0, 0},
                      NameCase{"1920x1080x60hex", ProfileNameMatch::kNoMatch, 0, 0, 0},
                      NameCase{"", ProfileNameMatch::kNoMatch, 0, 0, 0}));

TEST(ParseProfileNameTest, LongestFileNameNeitherThrowsNorMatches) {
  EdidProfile profile;
  EXPECT_EQ(ParseProfileName(std::string(251, '9') + ".hex", profile), ProfileNameMatch::kNoMatch);
  EXPECT_EQ(
      ParseProfileName(std::string(120, '1') + "x" + std::string(120, '2') + "x3.hex", profile),
      ProfileNameMatch::kOutOfRange);
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
  EdidProfile profile;
  profile.width = c.w;
  profile.height = c.h;
  profile.fps = c.f;
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
