// No handle left behind: the process's own handles counted before and after
// each stage of a run, repeated. Under Wine 8 GetProcessHandleCount always
// answers 0, so the count asks the system about every value one of this
// process's handles can have (docs/wine.md, "Counting a process's handles").
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/target_monitor.h"
#include "common/exe_dir.h"
#include "display/enumerate.h"
#include "display/topology.h"
#include "launch/direct.h"
#include "launch/user_session.h"
#include "log/log.h"
#include "provision/edid_profile.h"
#include "provision/edid_rewrite.h"
#include "provision/kex_launch.h"
#include "provision/target_mode.h"
#include "support/log_capture.h"
#include "support/sim_support.h"
#include "support/typical_run.h"

namespace {

// Handle values are multiples of 4 from 4 up, and a table grows from its
// lowest free value: a test program holds well under a hundred, so this
// bound leaves room for a stage that leaks on every call.
constexpr ULONG_PTR kHighestHandle = 4 * 4096;

// Only this process's own table is read, never the whole system's: the
// programs a stage starts come and go while it is counted.
int OwnHandles() {
  int n = 0;
  for (ULONG_PTR value = 4; value <= kHighestHandle; value += 4) {
    DWORD flags = 0;
    n += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
  }
  return n;
}

// The test program runs in a job of its own, so every program a stage starts
// is in it too; a count is taken only once they have all ended, as a process
// still starting holds handles of its own. The job counts processes, not
// start records: a program that Wine failed to bring up (docs/wine.md, "A
// start that never happens") ends without a record, and waiting for its
// record would hold every later repeat up too.
class StartedPrograms {
 public:
  StartedPrograms() : job_(CreateJobObjectW(nullptr, nullptr)) {
    joined_ = job_ != nullptr && AssignProcessToJobObject(job_, GetCurrentProcess());
  }
  ~StartedPrograms() {
    if (job_ != nullptr) CloseHandle(job_);
  }
  StartedPrograms(const StartedPrograms&) = delete;
  StartedPrograms& operator=(const StartedPrograms&) = delete;

  bool joined() const { return joined_; }

  // True once this process is the job's only one, within `timeoutMs`.
  bool AllEnded(ULONGLONG timeoutMs) const {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
      if (!QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &info, sizeof info,
                                     nullptr))
        return false;
      if (info.ActiveProcesses <= 1) return true;
      if (GetTickCount64() >= deadline) return false;
      Sleep(10);
    }
  }

 private:
  HANDLE job_;
  bool joined_ = false;
};

class Handles : public dptest::SimStateTest {
 protected:
  void SetUp() override {
    SimStateTest::SetUp();
    Use(dptest::SideBySide({{"TovikMonitor"}, {"DELL U2720Q", 2560, 1440}}));
    deploy_ = dir_.path();
    const std::filesystem::path d(dir_.wpath());
    for (const std::string& error :
         {dptest::WriteProfiles(d / "edid", {{1920, 1080, 60}, {2560, 1440, 60}}),
          dptest::InstallProgram("dprecord.exe", d / "wkex.exe"),
          dptest::InstallProgram("dprecord.exe", d / "rent_protect" / "zanbyprotect.exe")})
      ASSERT_EQ(error, "");
    SetEnvironmentVariableA("APPDATA", deploy_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("APPDATA", nullptr);
    SimStateTest::TearDown();
  }

  // Runs `stage` once to let it make what it keeps for the process (the log
  // path, a code page table), then `repeats` times more: the count must not
  // move. A leak on some path shows on its first repeat; the stages that
  // start a program repeat fewer times, as each start costs a second when
  // the machine is busy.
  void ExpectNoneLeft(const char* name, const std::function<void()>& stage, int repeats = 25) {
    SCOPED_TRACE(name);
    const ULONGLONG started = GetTickCount64();
    std::printf("stage %s\n", name);
    std::fflush(stdout);
    stage();
    const int before = OwnHandles();
    ASSERT_GT(before, 0);
    for (int i = 0; i < repeats; ++i) stage();
    EXPECT_EQ(OwnHandles(), before) << name << " left handles behind";
    std::printf("stage %s: %llu ms\n", name, GetTickCount64() - started);
    std::fflush(stdout);
  }

  std::string deploy_;
  dptest::LogCapture log_;
  StartedPrograms started_;
};

TEST_F(Handles, TheCountSeesAnOpenSearch) {
  // The counting itself, so that the tests below cannot pass blind. (Wine
  // closes a search's directory handle once the search is exhausted, so a
  // missing FindClose after a full scan leaks memory there, not a handle.)
  const int before = OwnHandles();
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((deploy_ + "\\edid\\*").c_str(), &entry);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  EXPECT_EQ(OwnHandles(), before + 1);
  FindClose(search);
  EXPECT_EQ(OwnHandles(), before);
  // What a launch that forgets CloseHandle would leave: a process handle.
  HANDLE self = OpenProcess(SYNCHRONIZE, FALSE, GetCurrentProcessId());
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(OwnHandles(), before + 1);
  CloseHandle(self);
  EXPECT_EQ(OwnHandles(), before);
}

TEST_F(Handles, NoStageLeavesOneBehind) {
  ASSERT_TRUE(started_.joined()) << "cannot put the test in a job: " << GetLastError();
  constexpr int kStartRepeats = 4;
  ExpectNoneLeft("LogMessage", [] { LogMessage("a line %d\n", 1); });
  ExpectNoneLeft("EnumerateDisplays", [] {
    std::vector<DisplayInfo> d;
    int active = 0;
    EnumerateDisplays(d, active);
  });
  ExpectNoneLeft("ForceExtendMode", [] { ForceExtendMode(); });
  ExpectNoneLeft("SetPrimaryDisplay", [] { SetPrimaryDisplay(0); });
  ExpectNoneLeft("ReadTargetMode", [] {
    TargetMode mode;
    ReadTargetMode(mode);
  });
  ExpectNoneLeft("SelectEdidProfile", [this] {
    SelectEdidProfile(TargetMode{2560, 1440, 60, deploy_});
  });
  ExpectNoneLeft("change_edid_monitor_name", [this] {
    change_edid_monitor_name((deploy_ + "\\edid\\2560x1440x60.hex").c_str(),
                             TargetMonitorName.c_str());
  });
  ExpectNoneLeft("change_edid_monitor_name, failing", [this] {
    change_edid_monitor_name((deploy_ + "\\edid\\missing.hex").c_str(), TargetMonitorName.c_str());
  });
  // A stage that starts a program, counted once the program has ended. A
  // start that failed is never waited for: its record cannot come.
  const auto starting = [this](const char* name, const std::function<bool()>& start) {
    ExpectNoneLeft(
        name,
        [&] {
          ASSERT_TRUE(start());
          EXPECT_TRUE(started_.AllEnded(30000)) << "a started program never ended";
        },
        kStartRepeats);
  };
  starting("LaunchKexWithHex", [this] {
    return LaunchKexFromDirectory(deploy_, deploy_ + "\\edid\\2560x1440x60.hex");
  });
  ExpectNoneLeft("LaunchKexWithHex, helper missing",
                 [this] { LaunchKexFromDirectory(deploy_ + "\\nowhere", "x.hex"); });
  starting("LaunchProtectInUserSession", [this] {
    return LaunchProtectInUserSessionFrom(std::filesystem::path(deploy_).wstring());
  });
  starting("LaunchProtectDirect", [this] { return LaunchProtectDirectFrom(deploy_); });
  ExpectNoneLeft("GetExecutableDirectory", [] {
    GetExecutableDirectory();
    GetExecutableDirectoryW();
  });
}

}  // namespace
