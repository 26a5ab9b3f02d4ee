// Two runs at once, as a logon task that fires twice starts them: both on
// the same machine, the same deployment and the same user's log, while a
// third party keeps taking the log file for a moment at a time. Both must end
// well, the EDID file whole, the machine in one sound layout with the
// virtual monitor primary, and every line of both runs in the log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

#include "support/sandbox.h"

namespace {

// The file's messages one by one: each line the log writes starts with its
// prefix, and text mode stored each "\n" as CR LF.
std::vector<std::string> FileMessages(const std::string& raw) {
  static const std::regex prefix(dptest::kLogPrefixPattern);
  std::vector<std::string> messages(std::sregex_token_iterator(raw.begin(), raw.end(), prefix, -1),
                                    {});
  // The empty text before the first prefix is no message.
  if (!messages.empty() && messages[0].empty()) messages.erase(messages.begin());
  for (std::string& m : messages) m = dptest::CrLfToLf(m);
  return messages;
}

TEST(TwoRunsAtOnce, BothEndWellOnOneSoundLayoutAndNoLineIsLost) {
  dptest::Sandbox box;
  box.DeployTypicalRun();
  box.CaptureDebugOutput(true);
  CreateDirectoryA((box.appdata() + "\\harnfold\\log").c_str(), nullptr);

  // The third party: the log file taken without sharing for 3 ms at a time,
  // as another program's line would take it, until both runs have ended.
  std::atomic<bool> done{false};
  int holds = 0;
  std::thread holder([&] {
    const std::wstring log = box.LogFile().wstring();
    while (!done) {
      HANDLE h = CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        ++holds;
        Sleep(3);
        CloseHandle(h);
      }
      Sleep(3);
    }
  });
  RunResult results[2];
  std::thread second([&] { results[1] = box.Run("displayprep-sim.exe"); });
  results[0] = box.Run("displayprep-sim.exe");
  second.join();
  done = true;
  holder.join();

  std::vector<std::string> logged;
  for (const RunResult& r : results) {
    ASSERT_TRUE(dptest::Ended(r));
    // Caught to the last stage: a run that starts after the other's helper has
    // added the display skips provisioning and logs fewer lines, but every
    // run ends with its companion's start.
    EXPECT_THAT(
        r.debugStrings,
        ::testing::Contains(::testing::StartsWith("create process success, command_line:")));
    logged.insert(logged.end(), r.debugStrings.begin(), r.debugStrings.end());
  }
  EXPECT_GT(holds, 10) << "the third party took the file often";

  // Every message of both runs is in the file, once.
  std::vector<std::string> inFile = FileMessages(dptest::ReadFileBytes(box.LogFile()));
  EXPECT_THAT(inFile, ::testing::UnorderedElementsAreArray(logged)) << "lines lost or doubled";

  // The EDID file: whole, valid, renamed (by one run or both, never half).
  EXPECT_EQ(dptest::NotRewritten(box.EdidFiles()["2560x1440x60.hex"], {2560, 1440, 60}), "");

  // The machine: sound, two active displays apart, the virtual one primary.
  const sim::Machine after = box.Machine();
  const std::string picture = sim::RenderDesktop(after);
  EXPECT_EQ(sim::CheckMachine(after), "") << picture;
  ASSERT_EQ(after.paths.size(), 2u) << picture;
  EXPECT_NE(after.paths[0].sourceId, after.paths[1].sourceId) << "not a clone: " << picture;
  const auto primary =
      std::find_if(after.paths.begin(), after.paths.end(),
                   [&](const sim::Path& p) { return p.sourceId == sim::PrimarySourceId(after); });
  ASSERT_NE(primary, after.paths.end()) << "no primary display: " << picture;
  EXPECT_EQ(sim::FindTarget(after, primary->targetId)->name, "TovikMonitor") << picture;
  EXPECT_EQ(box.CompanionStarts().size(), 2u) << "each run starts its companion";
}

}  // namespace
