// Rewrites generated EDID files and, when DP_REWRITTEN_EDID_DIR names a
// directory, leaves the results there (with a manifest) for a conformance
// check by edid-decode on the Linux side.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "provision/edid_rewrite.h"
#include "support/edid_bytes.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

using dptest::AsBytes;
using dptest::AsText;
using dptest::Bytes;
using dptest::GeneratedBlock;
using dptest::WithName;

struct OutputCase {
  edidgen::Mode mode;
  bool hexText;
};

void PrintTo(const OutputCase& c, std::ostream* os) {
  *os << c.mode.width << "x" << c.mode.height << "x" << c.mode.refresh
      << (c.hexText ? "Hex" : "Raw");
}

class RewrittenEdidFiles : public ::testing::TestWithParam<OutputCase> {};

TEST_P(RewrittenEdidFiles, AreRawBlocksWithTheNewName) {
  const OutputCase& c = GetParam();
  const Bytes block = GeneratedBlock(c.mode.width, c.mode.height, c.mode.refresh);
  dptest::TempDir dir;
  const std::string path = dir.File(edidgen::ModeFileName(c.mode));
  ASSERT_TRUE(dptest::WriteFileBytes(
      path, c.hexText ? edidgen::FormatHexText(block.data(), block.size()) : AsText(block)));
  dptest::LogCapture log;

  ASSERT_TRUE(change_edid_monitor_name(path.c_str(), "TovikMonitor")) << log.Messages();

  const std::string written = dptest::ReadFileBytes(path);
  EXPECT_EQ(AsBytes(written), WithName(block, 3, "TovikMonitor"));

  if (const char* out = std::getenv("DP_REWRITTEN_EDID_DIR")) {
    CreateDirectoryA(out, nullptr);
    const std::string name = std::to_string(c.mode.width) + "x" + std::to_string(c.mode.height) +
                             "x" + std::to_string(c.mode.refresh) +
                             (c.hexText ? "-from-hex.bin" : "-from-raw.bin");
    ASSERT_TRUE(dptest::WriteFileBytes(std::string(out) + "\\" + name, written));
    std::ofstream manifest(std::string(out) + "\\manifest.txt", std::ios::app);
    manifest << name << "\n";
    ASSERT_TRUE(manifest.good());
  }
}

std::vector<OutputCase> Cases() {
  std::vector<OutputCase> cases;
  for (const edidgen::Mode& mode :
       {edidgen::Mode{1920, 1080, 60}, edidgen::Mode{2560, 1440, 60}, edidgen::Mode{1280, 720, 60},
        edidgen::Mode{1366, 768, 60}, edidgen::Mode{3840, 2160, 60}, edidgen::Mode{3840, 2160, 74},
        edidgen::Mode{1920, 1080, 144}}) {
    cases.push_back({mode, true});
    cases.push_back({mode, false});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Modes, RewrittenEdidFiles, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                           const OutputCase& c = info.param;
                           return std::to_string(c.mode.width) + "x" +
                                  std::to_string(c.mode.height) + "x" +
                                  std::to_string(c.mode.refresh) + (c.hexText ? "Hex" : "Raw");
                         });

}  // namespace
