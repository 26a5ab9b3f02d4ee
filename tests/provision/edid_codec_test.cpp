// The pure units: hex text decoding and which lengths are raw.
#include "provision/edid_codec.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
