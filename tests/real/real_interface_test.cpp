// Read-only checks against the system's own display-configuration and session
// calls, made through the shipped program's seams (display_config_win.cpp,
// session_api_win.cpp, session_token_win.cpp), never the simulated stack.
// They hold the system to the contract the program and the simulated stack
// rest on (docs/windows.md). Nothing here changes the display configuration:
// SetDisplayConfig is only called without SDC_APPLY (the contract table's
// SDC_VALIDATE rows and flag sets that cannot apply). Where the machine has
// no display or no console session, the test skips and says so.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "contract_table.h"
#include "display/enumerate.h"
#include "launch/session_api.h"
#include "support/log_capture.h"
#include "support/text.h"

namespace {

bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

using contract::Listing;

// Why a display query cannot be held to the contract on this machine, or
// empty text when it can: what the sizes call answered, and the counts.
std::string NoDisplayReason(LONG sizes, std::size_t paths, std::size_t modes) {
  if (sizes == ERROR_ACCESS_DENIED) {
    return "GetDisplayConfigBufferSizes: ERROR_ACCESS_DENIED, this process has no access to the "
           "console session's desktop (a service, a remote session)";
  }
  if (sizes == ERROR_NOT_SUPPORTED) {
    return "GetDisplayConfigBufferSizes: ERROR_NOT_SUPPORTED, no WDDM display driver";
  }
  if (sizes == ERROR_SUCCESS && (paths == 0 || modes == 0)) {
    return "the machine reports no display path";
  }
  return {};
}

std::string Describe(const Listing& l) {
  std::string text = "sized " + std::to_string(l.sizedPaths) + " paths, " +
                     std::to_string(l.sizedModes) + " modes; got " +
                     std::to_string(l.paths.size()) + " paths, " + std::to_string(l.modes.size()) +
                     " modes\n";
  for (size_t i = 0; i < l.paths.size(); ++i) {
    const DISPLAYCONFIG_PATH_INFO& p = l.paths[i];
    text += "  path " + std::to_string(i) + ": source " + std::to_string(p.sourceInfo.id) +
            " (mode " + std::to_string(static_cast<int>(p.sourceInfo.modeInfoIdx)) +
            ") -> target " + std::to_string(p.targetInfo.id) + " (mode " +
            std::to_string(static_cast<int>(p.targetInfo.modeInfoIdx)) + ") flags " +
            std::to_string(p.flags) + (p.targetInfo.targetAvailable ? " available" : "") + "\n";
  }
  return text;
}

// The contract table (tests/conformance), every row that changes nothing,
// against the system's own calls. Rows whose answer Windows is not settled
// on report what this machine gives; under Wine, a row marked as one where
// Wine 8 differs must still differ, so that docs/windows.md's Wine column
// stays true.
TEST(RealDisplayConfig, TheSystemAnswersTheContractTable) {
  const contract::Seen seen = contract::LookAtTheMachine();
  const std::string why = NoDisplayReason(seen.sizes, seen.paths.size(), seen.modes.size());
  if (!why.empty()) GTEST_SKIP() << why;
  const bool wine = UnderWine();
  for (const contract::Row& row : contract::Table()) {
    std::string verdict;
    if (row.effect == contract::Effect::kApplies) {
      verdict = "not run: it changes the configuration";
    } else if (!contract::Applies(row, seen)) {
      verdict = "not run: this machine lacks what it needs";
    } else {
      const std::string got = row.check(seen);
      if (row.unsettled) {
        verdict = got.empty() ? "as the simulated stack" : "otherwise: " + got;
      } else if (wine && row.wine8) {
        verdict = "Wine 8 differs: " + got;
        EXPECT_NE(got, "") << row.id << " is marked as differing under Wine 8, yet answered as "
                           << "Windows does: update its Wine mark\n"
                           << contract::Describe(row);
      } else {
        verdict = got.empty() ? "as Windows" : "NOT as Windows: " + got;
        EXPECT_EQ(got, "") << contract::Describe(row);
      }
    }
    std::printf("%-4s %s\n", row.id, verdict.c_str());
  }
}

TEST(RealDisplayConfig, TheProgramsListingHoldsOnlyActiveDisplays) {
  const Listing l = contract::Read(QDC_ALL_PATHS);
  const std::string why = NoDisplayReason(l.sizes, l.sizedPaths, l.sizedModes);
  if (!why.empty()) GTEST_SKIP() << why;
  dptest::LogCapture log;
  std::vector<DisplayInfo> displays;
  int activeCount = -1;
  ASSERT_TRUE(EnumerateDisplays(displays, activeCount)) << log.Messages();
  ASSERT_FALSE(displays.empty()) << Describe(l);
  // Only active paths have a source mode, so every record the listing keeps
  // is active; the arrangement loop's inactive branch is never met here.
  EXPECT_EQ(activeCount, static_cast<int>(displays.size()));
  int primary = 0;
  for (const DisplayInfo& d : displays) {
    SCOPED_TRACE("record " + std::to_string(d.pathIndex) + " " + dptest::WideToAnsi(d.deviceName));
    EXPECT_TRUE(d.isActive);
    EXPECT_EQ(d.deviceName.rfind(L"\\\\.\\DISPLAY", 0), 0u);
    EXPECT_GT(d.width, 0u);
    EXPECT_GT(d.height, 0u);
    primary += d.isPrimary;
  }
  EXPECT_GE(primary, 1) << "the primary display's source is at (0,0)";
  EXPECT_EQ(log.Messages(), "") << "a successful listing logs nothing";
}

TEST(RealSession, TheConsoleSessionIsTheOneThisProcessCanSee) {
  const DWORD console = sessionapi::WTSGetActiveConsoleSessionId();
  if (console == 0xFFFFFFFF) GTEST_SKIP() << "no session is attached to the physical console";
  DWORD own = 0xFFFFFFFF;
  ASSERT_TRUE(sessionapi::ProcessIdToSessionId(GetCurrentProcessId(), &own)) << GetLastError();
  std::printf("console session %lu, this process in session %lu\n", console, own);

  PWTS_SESSION_INFOW sessions = nullptr;
  DWORD count = 0;
  ASSERT_TRUE(sessionapi::WTSEnumerateSessionsW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &sessions, &count))
      << GetLastError();
  bool listed = false;
  for (DWORD i = 0; i < count; ++i) listed = listed || sessions[i].SessionId == console;
  if (sessions != nullptr) sessionapi::WTSFreeMemory(sessions);
  if (count == 0 && UnderWine()) {
    GTEST_SKIP() << "Wine's WTSEnumerateSessionsW lists no session (docs/wine.md)";
  }
  EXPECT_TRUE(listed) << "the console session " << console << " is among the " << count
                      << " listed sessions";
}

// Whether this process's token holds SE_TCB_NAME ("act as part of the
// operating system") enabled, as the local system account does.
bool HoldsTcbPrivilege() {
  LUID tcb{};
  if (!LookupPrivilegeValueW(nullptr, L"SeTcbPrivilege", &tcb)) return false;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  bool holds = false;
  DWORD size = 0;
  GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size != 0 && GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES& p = privileges->Privileges[i];
      if (contract::SameLuid(p.Luid, tcb) && (p.Attributes & SE_PRIVILEGE_ENABLED)) holds = true;
    }
  }
  CloseHandle(token);
  return holds;
}

TEST(RealSession, TheTokenQueryNeedsTheTcbPrivilege) {
  const DWORD console = sessionapi::WTSGetActiveConsoleSessionId();
  if (console == 0xFFFFFFFF) GTEST_SKIP() << "no session is attached to the physical console";
  const bool tcb = HoldsTcbPrivilege();
  HANDLE token = nullptr;
  SetLastError(ERROR_SUCCESS);
  const BOOL ok = sessionapi::WTSQueryUserToken(console, &token);
  const DWORD error = GetLastError();
  if (ok) {
    TOKEN_TYPE type{};
    DWORD size = 0;
    const BOOL typed = GetTokenInformation(token, TokenType, &type, sizeof type, &size);
    sessionapi::CloseHandle(token);
    if (!tcb && UnderWine()) {
      GTEST_SKIP() << "Wine grants WTSQueryUserToken to a caller without SE_TCB_NAME; Windows "
                      "answers ERROR_PRIVILEGE_NOT_HELD (1314) (docs/windows.md)";
    }
    EXPECT_TRUE(tcb) << "a token was handed out to a caller without SE_TCB_NAME";
    EXPECT_TRUE(typed);
    EXPECT_EQ(type, TokenPrimary) << "WTSQueryUserToken hands out a primary token";
    return;
  }
  std::printf("WTSQueryUserToken(%lu): error %lu, SE_TCB_NAME %s\n", console, error,
              tcb ? "held" : "not held");
  if (tcb && error == ERROR_NO_TOKEN) GTEST_SKIP() << "nobody is logged on at the console";
  EXPECT_FALSE(tcb) << "the local system account is refused with " << error;
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD))
      << "an ordinary account is refused for want of the privilege";
}

}  // namespace
