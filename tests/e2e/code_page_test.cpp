// The whole run on a system whose ANSI code page is not a Western one: a
// double-byte page (932, where the second byte of some characters is the
// backslash's) and UTF-8 (65001). Run through CTest with the Unix locale that
// makes Wine choose that code page (tests/e2e/CMakeLists.txt); the paths and
// the monitor name hold characters of that page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "sim/sim_text.h"
#include "support/sandbox.h"

namespace {

struct PageCase {
  UINT codePage;
  std::wstring directory;  // the deployment's folder name
  std::wstring program;    // what the operator renamed displayprep-sim.exe to
  std::wstring monitor;    // the physical display's name
};

const PageCase kPages[] = {
    // 表 is 95 5C in code page 932: a byte scan from the end of the module
    // name would take its second byte for the last separator.
    {932, L"\u8868\u793A\u30C4\u30FC\u30EB", L"\u8868\u793A.exe",
     L"\u6771\u829D\u30E2\u30CB\u30BF\u30FC"},
    {65001, L"\u092A\u094D\u0930\u0926\u0930\u094D\u0936\u0928", L"\u0926\u0930.exe",
     L"\u092E\u0949\u0928\u093F\u091F\u0930"},
};

TEST(CodePage, RunWithPathsAndNamesOfTheSystemCodePage) {
  const char* wanted = std::getenv("DP_TEST_CODE_PAGE");
  ASSERT_NE(wanted, nullptr) << "run through ctest, which sets the locale and DP_TEST_CODE_PAGE";
  ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(wanted))) << "the locale did not take";
  const PageCase* c = nullptr;
  for (const PageCase& p : kPages)
    if (p.codePage == GetACP()) c = &p;
  ASSERT_NE(c, nullptr);

  const std::string folder = dptest::WideToAnsi(c->directory);
  ASSERT_EQ(sim::FromUtf8(sim::ToUtf8(c->directory)), c->directory);
  dptest::Sandbox box(folder);
  const std::string program = dptest::WideToAnsi(c->program);
  box.DeployTypicalRun(
      {.machine = dptest::SideBySide({{sim::ToUtf8(c->monitor), 1920, 1080, dptest::kDell}}),
       .profiles = {{2560, 1440, 60}}});
  // Under the name the operator gave it (narrow, in the ANSI code page).
  box.Install("displayprep-sim.exe", program);

  EXPECT_TRUE(box.InOrder(box.RunForLog(program),
                          {"Searching in directory: <D>\\edid\n", "Selected hex file: <P>\n",
                           "wkex.exe launched successfully from <D>\\wkex.exe\n",
                           "[0] \\\\.\\DISPLAY1 " + dptest::WideToAnsi(c->monitor) +
                               " (1920x1080) [Active] [Primary]\n",
                           "Primary display successfully set to \"TovikMonitor\"\n",
                           "create process success, command_line:<C>,"}));
  const std::vector<sim::StartRecord> helper = box.HelperStarts();
  ASSERT_EQ(helper.size(), 1u);
  // The sandbox itself lies in the temporary folder, whose name is ASCII.
  EXPECT_EQ(helper[0].currentDirectory, box.workingDirectory() + "\\" + sim::ToUtf8(c->directory));
  EXPECT_EQ(box.CompanionStarts().size(), 1u);
}

}  // namespace
