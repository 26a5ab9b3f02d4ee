// edidgen import over the forms operators hold EDIDs in and the descriptor
// cases real monitors show. With DP_IMPORTED_EDID_DIR set, every profile
// made is left there (raw, with a manifest) for edid-decode -c.
#include "import.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/edid_bytes.h"
#include "support/files.h"

namespace {

using dptest::AsText;
using dptest::Bytes;
using dptest::HexText;
using dptest::WithCtaExtension;
using dptest::WithDescriptor;
using dptest::WithName;

struct ImportCase {
  std::string label;
  std::string file;
  Bytes profile;     // empty: refused
  std::string said;  // the summary, or the refusal
  edidgen::Mode mode = {1920, 1080, 60};
};

void PrintTo(const ImportCase& c, std::ostream* os) { *os << c.label; }

std::vector<ImportCase> Cases() {
  const Bytes one = dptest::GeneratedBlock(1920, 1080, 60);
  const Bytes two = WithCtaExtension(one);
  Bytes named = WithName(one, 3, edidgen::kImportedMonitorName);
  const Bytes namedTwo = WithCtaExtension(named);
  const std::string replaced = "; monitor name \"DP Virtual\" replaced";
  const Bytes noName = WithDescriptor(one, 3, 0xFE, "Panel 14");
  const Bytes onlyText = WithDescriptor(noName, 4, 0xFE, "B140HAN01.3");
  const Bytes twoNames =
      WithDescriptor(WithDescriptor(one, 3, 0xFC, "Cinema HD Dis"), 4, 0xFC, "play");
  Bytes timings = one;
  for (int slot : {3, 4}) std::copy_n(one.begin() + 54, 18, timings.begin() + 54 + 18 * (slot - 1));
  dptest::FixChecksum(timings);
  Bytes badSum = one;
  badSum[127] ^= 1;
  const Bytes fast = dptest::GeneratedBlock(2560, 1440, 144);
  return {
      {"Raw", AsText(fast), WithName(fast, 3, "TovikMonitor"), "from raw, 1 block" + replaced,
       edidgen::Mode{2560, 1440, 144}},
      {"EdidDecodeHexDump384", HexText(one, 16, " ", "\n", true), named,
       "from hex text, 1 block" + replaced},
      // As Notepad saves it by default.
      {"HexTextBehindAByteOrderMark", "\xEF\xBB\xBF" + HexText(one, 16, " ", "\r\n"), named,
       "from hex text behind a byte-order mark, 1 block" + replaced},
      {"RegistryExportUtf16", dptest::RegistryExport({two}, true), namedTwo,
       "from a registry export, 2 blocks" + replaced},
      {"RegistryExportRegedit4", dptest::RegistryExport({two}, false), namedTwo,
       "from a registry export, 2 blocks" + replaced},
      {"RegistryValue", "hex:" + HexText(one, 128, ",", "\r\n"), named,
       "from a registry value, 1 block" + replaced},
      {"CArray", dptest::CArray(two), namedTwo, "from a C array, 2 blocks" + replaced},
      {"EdidDecodeReport", dptest::EdidDecodeReport(two), namedTwo,
       "from an edid-decode report, 2 blocks" + replaced},
      {"NoNameTakesTheDummySlot", AsText(noName), WithDescriptor(noName, 4, 0xFC, "TovikMonitor"),
       "from raw, 1 block; no monitor-name descriptor: the name takes slot 4, a dummy descriptor"},
      {"NoNameNoDummyTakesTheTextSlot", AsText(onlyText),
       WithDescriptor(onlyText, 3, 0xFC, "TovikMonitor"),
       "from raw, 1 block; no monitor-name descriptor: the name takes slot 3, the text "
       "descriptor \"Panel 14\""},
      {"SecondNameCleared", AsText(twoNames),
       WithDescriptor(WithDescriptor(twoNames, 3, 0xFC, "TovikMonitor"), 4, 0x10),
       "from raw, 1 block; monitor name \"Cinema HD Dis\" replaced; the further monitor-name "
       "descriptor \"play\" in slot 4 cleared to a dummy descriptor"},
      {"NoSlotForTheName", AsText(timings), Bytes{},
       "no monitor-name descriptor, and no dummy (tag 10) or text (tag FE) descriptor whose slot "
       "could take one"},
      {"NoPreferredTiming", AsText(WithDescriptor(one, 1, 0x10)), Bytes{},
       "no preferred timing: descriptor slot 1 holds no detailed timing of a mode"},
      {"WrongHeader", HexText(Bytes(one.begin() + 1, one.end()), 16, "", "\r\n") + "01", Bytes{},
       "hex text, not an EDID: the header is not 00 FF FF FF FF FF FF 00"},
      {"WrongChecksum", AsText(badSum), Bytes{},
       "raw, not an EDID: the base block's checksum is wrong"},
      {"NotWholeBlocks", HexText(Bytes(one.begin(), one.end() - 1), 16, "", "\r\n"), Bytes{},
       "hex text, not an EDID: 127 bytes, not whole 128-byte blocks"},
      {"TwoMonitorsInOneExport", dptest::RegistryExport({one, two}, true), Bytes{},
       "a registry export: 2 values named EDID: keep only the one of the monitor"},
      {"CArrayOfWords", "{ 0x00ff, 0xffff }", Bytes{},
       "a C array: the number 0x00ff is not one byte"},
      {"OtherText", "Monitor: DELL U2720Q\r\n", Bytes{},
       "neither raw EDID bytes nor hex text, nor a registry value or export, a C array or an "
       "edid-decode report"},
  };
}

class ImportTest : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportTest, NamesTheProfileOrRefuses) {
  const ImportCase& c = GetParam();
  const edidgen::Imported r = edidgen::ImportEdid(c.file.data(), c.file.size());
  EXPECT_EQ(r.ok ? r.summary : r.error, c.said);
  ASSERT_EQ(r.ok, !c.profile.empty());
  if (!r.ok) return;
  EXPECT_EQ(edidgen::ModeFileName(r.mode), edidgen::ModeFileName(c.mode));
  EXPECT_EQ(r.edid, c.profile);

  EXPECT_TRUE(dptest::LeaveForEdidDecode("DP_IMPORTED_EDID_DIR", c.label + ".bin", AsText(r.edid)));
}

INSTANTIATE_TEST_SUITE_P(Files, ImportTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
