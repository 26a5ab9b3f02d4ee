// What the pre-flight check says of a profile: the form, the blocks, the
// name, and for one that will not work, why and what to do.
#include "provision/profile_facts.h"

#include <gtest/gtest.h>

#include <tuple>

#include "support/edid_bytes.h"
#include "support/temp_dir.h"

namespace {

using dptest::AsText;
using dptest::Bytes;

struct FactsCase {
  std::string label;
  std::string file;
  std::string text;
  bool works;
  bool readable;  // the rewrite goes on
};

void PrintTo(const FactsCase& c, std::ostream* os) { *os << c.label; }

std::vector<FactsCase> Cases() {
  const Bytes one = dptest::GeneratedBlock(1920, 1080, 60);
  const Bytes noName = dptest::WithDescriptor(one, 3, 0xFE, "Panel 14");
  Bytes wrongHeader = one;
  wrongHeader[7] = 0x42;
  dptest::FixChecksum(wrongHeader);
  Bytes wrongChecksum = one;
  wrongChecksum[127] ^= 0x01;
  const std::string convert = ": convert it with `edidgen import`";
  return {
      {"RawTwoBlocks", AsText(dptest::WithCtaExtension(one)),
       "raw, 2 blocks, monitor name \"DP Virtual\"", true, true},
      {"EdidDecodeHex384", dptest::HexText(one, 16, " ", "\n", true),
       "hex text, 1 block, monitor name \"DP Virtual\"", true, true},
      {"RegistryExport", dptest::RegistryExport({one}, true), "a registry export" + convert, false,
       false},
      {"HexTextBehindAByteOrderMark", "\xEF\xBB\xBF" + dptest::HexText(one, 32, "", "\r\n"),
       "hex text behind a byte-order mark" + convert, false, false},
      {"NoName", AsText(noName),
       "raw, 1 block, no monitor-name descriptor: `edidgen import` adds one", false, true},
      {"NoNameNoSlot",
       AsText(dptest::WithDescriptor(dptest::WithDescriptor(one, 3, 0xFF, "1234"), 4, 0xFF)),
       "raw, 1 block, no monitor-name descriptor, and no dummy or text descriptor to make one of",
       false, true},
      {"WrongChecksum", AsText(wrongChecksum),
       "raw, 1 block, monitor name \"DP Virtual\" (its checksum is wrong: the rewrite sets it "
       "right)",
       true, true},
      {"WrongHeader", dptest::HexText(wrongHeader, 16, "", "\r\n"),
       "hex text, not an EDID: the header is not 00 FF FF FF FF FF FF 00", false, true},
      {"Hex127Bytes", dptest::HexText(Bytes(one.begin(), one.end() - 1), 16, "", "\r\n"),
       "hex text, not an EDID: 127 bytes, not whole 128-byte blocks", false, false},
      {"RawLengthWithoutHeader", std::string(128, '\x01'),
       "neither raw EDID bytes nor hex text (128 bytes)", false, false},
  };
}

class ProfileFactsTest : public ::testing::TestWithParam<FactsCase> {};

TEST_P(ProfileFactsTest, NamesTheFormAndTheFix) {
  const FactsCase& c = GetParam();
  const ProfileFacts facts = DescribeProfile(c.file.data(), c.file.size());
  EXPECT_EQ(std::tie(facts.text, facts.works, facts.readable),
            std::tie(c.text, c.works, c.readable));
}

INSTANTIATE_TEST_SUITE_P(Files, ProfileFactsTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.label; });

TEST(InspectProfileTest, SaysWhyAFileIsNotRead) {
  dptest::TempDir dir;
  EXPECT_EQ(InspectProfile(dir.File("1920x1080x60.hex")).text,
            "unreadable: the file cannot be opened");
  ASSERT_TRUE(dptest::WriteFileBytes(dir.File("big.hex"), std::string((1 << 20) + 1, '0')));
  EXPECT_EQ(InspectProfile(dir.File("big.hex")).text,
            "unreadable: 1048577 bytes, more than the 1048576 an EDID file may have");
}

}  // namespace
