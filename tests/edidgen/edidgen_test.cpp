#include "edidgen.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/edid_bytes.h"

namespace {

using ::testing::HasSubstr;

// Reference timings as `edid-decode --cvt w=..,h=..,fps=..,rb=..` prints them.
struct CvtCase {
  edidgen::Mode mode;
  int version;
  std::uint32_t hFront, hSync, hBack, vFront, vSync, vBack;
  std::uint64_t clockHz;
};

void PrintTo(const CvtCase& c, std::ostream* os) {
  *os << c.mode.width << "x" << c.mode.height << "x" << c.mode.refresh << "v" << c.version;
}

using Figures = std::vector<std::uint64_t>;

// A timing's figures in one list, so that one comparison shows them all:
// width, height; horizontal front porch, sync, back porch; the same
// vertically; the clock; whether each sync is positive.
Figures FiguresOf(const edidgen::CvtTiming& t) {
  return {t.hActive, t.vActive,    t.hFrontPorch,  t.hSync,         t.hBackPorch,   t.vFrontPorch,
          t.vSync,   t.vBackPorch, t.pixelClockHz, t.hSyncPositive, t.vSyncPositive};
}

class CvtTest : public ::testing::TestWithParam<CvtCase> {};

TEST_P(CvtTest, MatchesTheReferenceTiming) {
  const CvtCase& c = GetParam();
  edidgen::CvtTiming t;
  std::string error;
  ASSERT_TRUE(edidgen::ComputeCvtReducedBlanking(c.mode, c.version, t, error)) << error;
  // Reduced blanking: horizontal sync positive, vertical negative.
  EXPECT_EQ(FiguresOf(t), (Figures{c.mode.width, c.mode.height, c.hFront, c.hSync, c.hBack,
                                   c.vFront, c.vSync, c.vBack, c.clockHz, 1, 0}));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, CvtTest,
    ::testing::Values(CvtCase{{1920, 1080, 60}, 1, 48, 32, 80, 3, 5, 23, 138'500'000},
                      CvtCase{{2560, 1440, 60}, 1, 48, 32, 80, 3, 5, 33, 241'500'000},
                      CvtCase{{1024, 768, 75}, 1, 48, 32, 80, 3, 4, 21, 70'500'000},
                      CvtCase{{1920, 1200, 60}, 1, 48, 32, 80, 3, 6, 26, 154'000'000},
                      CvtCase{{7680, 4320, 60}, 1, 48, 32, 80, 3, 5, 115, 2'089'750'000},
                      CvtCase{{2560, 1440, 60}, 2, 8, 32, 40, 27, 8, 6, 234'590'000},
                      CvtCase{{1366, 768, 60}, 2, 8, 32, 40, 8, 8, 6, 68'540'000},
                      CvtCase{{3840, 2160, 144}, 2, 8, 32, 40, 140, 8, 6, 1'306'206'000}));

// The detailed timing in slot 1, read back from the bytes.
edidgen::CvtTiming DecodeSlot1(const edidgen::Block& b) {
  const std::uint8_t* d = &b[54];
  edidgen::CvtTiming t;
  t.pixelClockHz = (d[0] | (d[1] << 8)) * 10'000ull;
  t.hActive = d[2] | ((d[4] >> 4) << 8);
  const std::uint32_t hBlank = d[3] | ((d[4] & 0xF) << 8);
  t.vActive = d[5] | ((d[7] >> 4) << 8);
  const std::uint32_t vBlank = d[6] | ((d[7] & 0xF) << 8);
  t.hFrontPorch = d[8] | ((d[11] >> 6) << 8);
  t.hSync = d[9] | (((d[11] >> 4) & 3) << 8);
  t.vFrontPorch = (d[10] >> 4) | (((d[11] >> 2) & 3) << 4);
  t.vSync = (d[10] & 0xF) | ((d[11] & 3) << 4);
  t.hBackPorch = hBlank - t.hFrontPorch - t.hSync;
  t.vBackPorch = vBlank - t.vFrontPorch - t.vSync;
  t.hSyncPositive = d[17] & 0x02;
  t.vSyncPositive = d[17] & 0x04;
  return t;
}

TEST(GenerateEdidTest, BaseBlockLayout) {
  const edidgen::Result r = edidgen::GenerateEdid({1920, 1080, 60}, "Name Thirteen");
  ASSERT_TRUE(r.ok) << r.error;
  const edidgen::Block& b = r.block;
  const std::uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  EXPECT_TRUE(std::equal(header, header + 8, b.begin()));
  EXPECT_EQ(b[18], 1);
  EXPECT_EQ(b[19], 4);
  EXPECT_NE(b[20] & 0x80, 0) << "digital input";
  EXPECT_NE(b[24] & 0x04, 0) << "sRGB default colour space";
  EXPECT_NE(b[24] & 0x02, 0) << "preferred timing is native";
  EXPECT_EQ(dptest::BlockSum(b), 0u);
  EXPECT_NE(b[54] | b[55], 0) << "slot 1 is a detailed timing";
  EXPECT_EQ(b[72 + 3], 0xFD) << "slot 2 range limits";
  EXPECT_EQ(b[90 + 3], 0xFC) << "slot 3 product name";
  EXPECT_EQ(std::string(b.begin() + 95, b.begin() + 108), "Name Thirteen");
  EXPECT_EQ(b[108 + 3], 0x10) << "slot 4 dummy";
  EXPECT_EQ(b[126], 0) << "no extensions";

  // Slot 1 holds the timing computed, the reference's 1920x1080 figures.
  const Figures slot1 = FiguresOf(DecodeSlot1(b));
  EXPECT_EQ(slot1, FiguresOf(r.timing));
  EXPECT_EQ(slot1, (Figures{1920, 1080, 48, 32, 80, 3, 5, 23, 138'500'000, 1, 0}));
}

TEST(GenerateEdidTest, ShortNameEndsInLineFeedAndBlanks) {
  const edidgen::Result r = edidgen::GenerateEdid({1280, 720, 60}, "Abc");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(std::string(r.block.begin() + 95, r.block.begin() + 108),
            std::string("Abc\n         "));
}

TEST(GenerateEdidTest, FallsBackToVersion2WhenVersion1ClockIsTooHigh) {
  // v1 needs 662.00 MHz here; v2 needs 648.908 MHz, stored as 648.90.
  const edidgen::Result r = edidgen::GenerateEdid({3840, 2160, 74}, "DP Virtual");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.timing.version, 2);
  const edidgen::CvtTiming slot1 = DecodeSlot1(r.block);
  EXPECT_EQ(slot1.pixelClockHz, 648'900'000u);
  EXPECT_EQ(slot1.vFrontPorch, 63u);
  EXPECT_EQ(slot1.hBackPorch, 40u);
}

struct RefusalCase {
  const char* label;
  edidgen::Mode mode;
  const char* reason;  // part of the message
  std::string name = "DP Virtual";
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.label; }

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, SaysWhy) {
  const RefusalCase& c = GetParam();
  const edidgen::Result r = edidgen::GenerateEdid(c.mode, c.name);
  EXPECT_FALSE(r.ok);
  EXPECT_THAT(r.error, HasSubstr(c.reason));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    ::testing::Values(RefusalCase{"ClockAboveLimit", {7680, 4320, 60}, "exceeds the 655.35 MHz"},
                      // Found by the fuzzer: the block held a clock of 0, which reads as no
                      // timing (7x10 at 44 Hz now takes version 2, whose finer steps fit).
                      RefusalCase{"ClockBelowTenKilohertz", {1, 1, 1}, "below the 10 kHz"},
                      RefusalCase{
                          "BothVersionsAboveLimit", {3840, 2160, 120}, "exceeds the 655.35 MHz"},
                      RefusalCase{"TooWide", {4096, 2160, 60}, "4095"},
                      RefusalCase{"FrontPorchTooLong", {3440, 1440, 120}, "front porch"},
                      RefusalCase{"ZeroRefresh", {1920, 1080, 0}, "above 0"},
                      RefusalCase{"RefreshBeyondCvt", {640, 480, 2200}, "too high"},
                      RefusalCase{"NameTooLong", {1920, 1080, 60}, "1 to 13", "Fourteen chars"},
                      RefusalCase{"NameEmpty", {1920, 1080, 60}, "1 to 13", ""},
                      RefusalCase{"NameNotAscii", {1920, 1080, 60}, "printable ASCII", "Caf\xE9"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ParseModeTest, AcceptsOnlyWxHxF) {
  edidgen::Mode m;
  ASSERT_TRUE(edidgen::ParseMode("2560x1440x144", m));
  EXPECT_EQ((Figures{m.width, m.height, m.refresh}), (Figures{2560, 1440, 144}));
  for (const char* bad : {"", "1920x1080", "1920x1080x60x1", "1920X1080x60", "1920x1080x60.hex",
                          "x1080x60", "-1x1080x60", "1920x1080x99999999999", " 1920x1080x60"}) {
    EXPECT_FALSE(edidgen::ParseMode(bad, m)) << bad;
  }
  EXPECT_EQ(edidgen::ModeFileName({1920, 1080, 60}), "1920x1080x60.hex");
}

TEST(FormatHexTextTest, ThirtyTwoDigitsALineWithCrLf) {
  const edidgen::Result r = edidgen::GenerateEdid({1920, 1080, 60}, "DP Virtual");
  const std::string text = edidgen::FormatHexText(r.block.data(), r.block.size());
  ASSERT_EQ(text.size(), 272u);
  for (std::size_t line = 0; line < 8; ++line) {
    EXPECT_EQ(text.substr(line * 34 + 32, 2), "\r\n");
    EXPECT_EQ(text.substr(line * 34, 32).find_first_not_of("0123456789ABCDEF"), std::string::npos);
  }
  EXPECT_EQ(text.substr(0, 16), "00FFFFFFFFFFFF00");
}

TEST(FormatHexTextTest, NeverALengthTheReaderTakesForRaw) {
  std::vector<std::uint8_t> bytes(128 * 16, 0xAB);
  for (std::size_t blocks = 1; blocks <= 16; ++blocks) {
    const std::string text = edidgen::FormatHexText(bytes.data(), blocks * 128);
    EXPECT_NE(text.size() % 128, 0u) << blocks << " blocks";
    EXPECT_EQ(text.size() - text.find_last_not_of("\r\n") - 1, blocks % 8 == 0 ? 4u : 2u);
  }
}

}  // namespace
