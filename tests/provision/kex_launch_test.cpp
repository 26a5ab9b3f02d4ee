// The helper launch for real: wkex.exe (the simulated helper, which records
// how it was started) copied into directories of the test's making, started
// through the product's launch, its recorded command line and current
// directory compared with what the log says.
#include "provision/kex_launch.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "sim/sim_text.h"
#include "sim/start_record.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/text.h"
#include "support/typical_run.h"

namespace {

// What a launch is given, and what it must log and start. "<D>" stands for
// the executable directory the case uses.
struct LaunchCase {
  const char* name;
  const char* directory;  // below the test's folder; "" for no directory at all
  bool helper;            // wkex.exe stands in it
  std::string best_hex;
  std::string log;
  std::string commandLine;  // as the helper saw it; empty: nothing may start
};

std::string Expand(const std::string& text, const std::string& d) {
  return dptest::Expand(text, {{"<D>", d}});
}

// A launch that starts the helper with `command`: the log names the command
// and says it started.
LaunchCase Started(const char* name, const char* directory, const std::string& best_hex,
                   const std::string& command) {
  return {name,
          directory,
          true,
          best_hex,
          "Launching wkex.exe with command: " + command +
              "\nwkex.exe launched successfully from <D>\\wkex.exe\n",
          command};
}

const LaunchCase kCases[] = {
    Started("PlainPaths", "tools", "<D>\\edid\\1920x1080x60.hex",
            "<D>\\wkex.exe /d <D>\\edid\\1920x1080x60.hex"),
    Started("SpaceInTheDirectoryOnly", "my tools", "C:\\edid\\a.hex",
            "\"<D>\\wkex.exe\" /d C:\\edid\\a.hex"),
    Started("SpaceInTheProfileOnly", "tools", "C:\\my edid\\a.hex",
            "<D>\\wkex.exe /d \"C:\\my edid\\a.hex\""),
    Started("QuoteInTheProfilePassesUnescaped", "tools", "C:\\e\\a\"b.hex",
            "<D>\\wkex.exe /d C:\\e\\a\"b.hex"),
    Started("TrailingBackslashPassesUnescaped", "my tools", "C:\\my dir\\",
            "\"<D>\\wkex.exe\" /d \"C:\\my dir\\\""),
    Started("TabIsNoSpace", "tools", "C:\\a\tb.hex", "<D>\\wkex.exe /d C:\\a\tb.hex"),
    {"EmptyProfileWithTheHelperPresent", "tools", true, "",
     "LaunchKexWithHex: best_hex is empty, skip launching.\n", ""},
    {"NoExecutableDirectory", "", true, "C:\\edid\\a.hex",
     "LaunchKexWithHex: failed to get executable directory, skip launching kex.exe\n", ""},
    {"HelperMissing", "tools", false, "C:\\edid\\a.hex",
     "Launching wkex.exe with command: <D>\\wkex.exe /d C:\\edid\\a.hex\n"
     "Failed to launch wkex.exe from path \"<D>\\wkex.exe\", GetLastError=2\n",
     ""},
};

class KexLaunch : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(KexLaunch, LogsAndStartsExactlySo) {
  const LaunchCase& c = GetParam();
  dptest::TempDir root;
  const std::string d = *c.directory ? root.File(c.directory) : "";
  if (!d.empty()) {
    ASSERT_TRUE(CreateDirectoryA(d.c_str(), nullptr));
  }
  if (c.helper && !d.empty()) {
    ASSERT_EQ(dptest::InstallProgram("wkex.exe", d + "\\wkex.exe"), "");
  }

  dptest::LogCapture log;
  const bool started = LaunchKexFromDirectory(d, Expand(c.best_hex, d));
  EXPECT_EQ(started, !c.commandLine.empty());
  EXPECT_EQ(log.Messages(), Expand(c.log, d));

  const std::wstring records = sim::FromUtf8(d + "\\wkex.starts");
  if (c.commandLine.empty()) {
    EXPECT_TRUE(sim::ReadStartRecords(records).empty());
    return;
  }
  std::vector<sim::StartRecord> starts;
  EXPECT_TRUE(sim::AwaitStarts(records, 1, 30000, &starts));
  ASSERT_EQ(starts.size(), 1u) << "the helper never recorded its start";
  EXPECT_EQ(starts[0].commandLine, Expand(c.commandLine, d));
  EXPECT_EQ(starts[0].currentDirectory, d);
}

INSTANTIATE_TEST_SUITE_P(Cases, KexLaunch, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KexLaunch, DriveRootDirectory) {
  // A program in a drive's root: the directory is "C:", the helper "C:\wkex.exe"
  // (absent there, so the launch fails and names the path it tried).
  dptest::LogCapture log;
  EXPECT_FALSE(LaunchKexFromDirectory("C:", "C:\\edid\\a.hex"));
  EXPECT_EQ(log.Messages(),
            "Launching wkex.exe with command: C:\\wkex.exe /d C:\\edid\\a.hex\n"
            "Failed to launch wkex.exe from path \"C:\\wkex.exe\", GetLastError=2\n");
}

}  // namespace
