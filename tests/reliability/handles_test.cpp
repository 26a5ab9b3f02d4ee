// No handle left behind: the process's own handles counted before and after
// each stage of a run, repeated many times. Under Wine 8 GetProcessHandleCount
// always answers 0, so they are counted from the system's handle table
// (NtQuerySystemInformation, SystemHandleInformation) filtered by process id.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/target_monitor.h"
#include "common/exe_dir.h"
#include "display/enumerate.h"
#include "display/topology.h"
#include "edidgen.h"
#include "launch/direct.h"
#include "launch/user_session.h"
#include "log/log.h"
#include "provision/edid_profile.h"
#include "provision/edid_rewrite.h"
#include "provision/kex_launch.h"
#include "provision/target_mode.h"
#include "sim/sim.h"
#include "sim/start_record.h"
#include "support/log_capture.h"
#include "support/sim_support.h"
#include "support/temp_dir.h"

namespace {

struct HandleEntry {
  USHORT processId;
  USHORT creatorBackTraceIndex;
  UCHAR objectType;
  UCHAR attributes;
  USHORT value;
  PVOID object;
  ULONG grantedAccess;
};
struct HandleTable {
  ULONG count;
  HandleEntry handles[1];
};

int OwnHandles() {
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ULONG needed = 0;
    const NTSTATUS status =
        NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                 static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<NTSTATUS>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return -1;
    break;
  }
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const auto me = static_cast<USHORT>(GetCurrentProcessId());
  int n = 0;
  for (ULONG i = 0; i < table->count; ++i) n += table->handles[i].processId == me;
  return n;
}

// Every recorder started from `file` has ended before the count is taken: a
// process still starting holds handles of its own.
void WaitForStarts(const std::wstring& file, std::size_t count) {
  EXPECT_TRUE(sim::AwaitStarts(file, count, 30000)) << "a recorder never ran or never ended";
}

class Handles : public dptest::SimStateTest {
 protected:
  void SetUp() override {
    SimStateTest::SetUp();
    sim::Machine m;
    m.targets = {dptest::Monitor(1, "TovikMonitor"), dptest::Monitor(2, "DELL U2720Q")};
    m.sources = {dptest::Shown(0, 1920, 1080, 0, 0), dptest::Shown(1, 2560, 1440, 1920, 0)};
    m.paths = {dptest::Link(0, 1), dptest::Link(1, 2)};
    Use(m);
    deploy_ = dir_.path();
    CreateDirectoryA((deploy_ + "\\edid").c_str(), nullptr);
    CreateDirectoryA((deploy_ + "\\rent_protect").c_str(), nullptr);
    for (const edidgen::Mode& mode :
         {edidgen::Mode{1920, 1080, 60}, edidgen::Mode{2560, 1440, 60}}) {
      const edidgen::Result r = edidgen::GenerateEdid(mode, "DP Virtual");
      dptest::WriteFileBytes(deploy_ + "\\edid\\" + edidgen::ModeFileName(mode),
                             edidgen::FormatHexText(r.block.data(), r.block.size()));
    }
    const std::string recorder = GetExecutableDirectory() + "\\dprecord.exe";
    CopyFileA(recorder.c_str(), (deploy_ + "\\wkex.exe").c_str(), FALSE);
    CopyFileA(recorder.c_str(), (deploy_ + "\\rent_protect\\zanbyprotect.exe").c_str(), FALSE);
    SetEnvironmentVariableA("APPDATA", deploy_.c_str());
  }
  void TearDown() override {
    SetEnvironmentVariableA("APPDATA", nullptr);
    SimStateTest::TearDown();
  }

  // Runs `stage` once to let it make what it keeps for the process (the log
  // path, a code page table), then 25 times more: the count must not move.
  void ExpectNoneLeft(const char* name, const std::function<void()>& stage) {
    SCOPED_TRACE(name);
    const ULONGLONG started = GetTickCount64();
    std::printf("stage %s\n", name);
    std::fflush(stdout);
    stage();
    const int before = OwnHandles();
    ASSERT_GT(before, 0);
    for (int i = 0; i < 25; ++i) stage();
    EXPECT_EQ(OwnHandles(), before) << name << " left handles behind";
    std::printf("stage %s: %llu ms\n", name, GetTickCount64() - started);
    std::fflush(stdout);
  }

  std::string deploy_;
  dptest::LogCapture log_;
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
}

TEST_F(Handles, NoStageLeavesOneBehind) {
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
    TargetMode mode;
    mode.width = 2560;
    mode.height = 1440;
    mode.fps = 60;
    mode.exeDir = deploy_;
    SelectEdidProfile(mode);
  });
  ExpectNoneLeft("change_edid_monitor_name", [this] {
    change_edid_monitor_name((deploy_ + "\\edid\\2560x1440x60.hex").c_str(),
                             TargetMonitorName.c_str());
  });
  ExpectNoneLeft("change_edid_monitor_name, failing", [this] {
    change_edid_monitor_name((deploy_ + "\\edid\\missing.hex").c_str(), TargetMonitorName.c_str());
  });
  std::size_t helperStarts = 0;
  ExpectNoneLeft("LaunchKexWithHex", [&] {
    LaunchKexFromDirectory(deploy_, deploy_ + "\\edid\\2560x1440x60.hex");
    WaitForStarts(std::filesystem::path(deploy_ + "\\wkex.starts").wstring(), ++helperStarts);
  });
  ExpectNoneLeft("LaunchKexWithHex, helper missing",
                 [this] { LaunchKexFromDirectory(deploy_ + "\\nowhere", "x.hex"); });
  std::size_t companionStarts = 0;
  const std::wstring companions =
      std::filesystem::path(deploy_ + "\\rent_protect\\zanbyprotect.starts").wstring();
  ExpectNoneLeft("LaunchProtectInUserSession", [&] {
    EXPECT_TRUE(LaunchProtectInUserSessionFrom(std::filesystem::path(deploy_).wstring()));
    WaitForStarts(companions, ++companionStarts);
  });
  ExpectNoneLeft("LaunchProtectDirect", [&] {
    EXPECT_TRUE(LaunchProtectDirectFrom(deploy_));
    WaitForStarts(companions, ++companionStarts);
  });
  ExpectNoneLeft("GetExecutableDirectory", [] {
    GetExecutableDirectory();
    GetExecutableDirectoryW();
  });
}

}  // namespace
