// The user-session launch through the session seam: every way it can end,
// what it logs, what it hands the system and that it releases all it took.
#include "launch/user_session.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "fake_session/fake_session.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

using fakesession::Call;

// No session at the console (the last error `error`), these processes running.
fakesession::Script NoConsole(DWORD error, std::vector<fakesession::Process> processes) {
  fakesession::Script s;
  s.consoleSession = 0xFFFFFFFF;
  s.consoleError = error;
  s.processes = std::move(processes);
  return s;
}

struct LaunchCase {
  const char* name;
  fakesession::Script script;
  std::string log;  // "<C>" stands for the companion path
  bool result;
  DWORD session;                // asked for a token, when it got that far
  bool companion = true;        // rent_protect\zanbyprotect.exe exists
  const char* dirName = "app";  // the executable directory below the test's folder
};

std::vector<LaunchCase> Cases() {
  auto failing = [](Call call, DWORD error) {
    fakesession::Script s;
    s.failures[call] = error;
    return s;
  };
  const auto explorer = NoConsole(1008, {{10, L"svchost.exe", 0}, {77, L"explorer.exe", 3}});
  const auto winlogon = NoConsole(0, {{9, L"winlogon.exe", 1}, {11, L"csrss.exe", 1}});
  const auto neither = NoConsole(0, {{9, L"services.exe", 0}});
  auto noSnapshot = NoConsole(0, {{77, L"explorer.exe", 3}});
  noSnapshot.failures[Call::CreateToolhelp32Snapshot] = ERROR_NOT_ENOUGH_MEMORY;
  // A failed session list reads as an empty one: the lowest session of an
  // explorer.exe is taken.
  auto noList = NoConsole(0, {{77, L"explorer.exe", 3}, {78, L"explorer.exe", 2}});
  noList.failures[Call::WTSEnumerateSessionsW] = ERROR_ACCESS_DENIED;
  // A process whose session cannot be read is passed over, not taken for session 0.
  const auto noLookup = NoConsole(0, {{77, L"explorer.exe", 0, true}, {78, L"explorer.exe", 2}});
  const std::string ok = "create process success, command_line:<C>, process_id:4242.";
  const std::string noConsole = "Failed to get active session ID. Error: ";
  const DWORD none = 0xFFFFFFFF;
  const fakesession::Script console;  // the console session's user, every call answered
  return {
      {"ConsoleSession", console, ok, true, 1},
      {"SpaceInTheDirectory", console,
       "create process success, command_line:\"<C>\", process_id:4242.", true, 1, true, "my app"},
      {"CompanionMissing", console, "Target executable not found: <C>", false, none, false},
      {"QueryUserTokenFails", failing(Call::WTSQueryUserToken, ERROR_NO_TOKEN),
       "WTSQueryUserToken failed. Error: 1008", false, 1},
      {"DuplicateTokenFails", failing(Call::DuplicateTokenEx, ERROR_ACCESS_DENIED),
       "DuplicateTokenEx failed. Error: 5", false, 1},
      {"EnvironmentBlockFails", failing(Call::CreateEnvironmentBlock, ERROR_PRIVILEGE_NOT_HELD),
       "CreateEnvironmentBlock failed. Error: 1314", false, 1},
      {"CreateProcessFails", failing(Call::CreateProcessAsUserW, ERROR_FILE_NOT_FOUND),
       "CreateProcessAsUser failed. Error: 2", false, 1},
      {"NoConsoleExplorerFound", explorer, noConsole + "1008current session id=3, pid=77" + ok,
       true, 3},
      {"NoConsoleOnlyWinlogon", winlogon, noConsole + "0current session id=1, pid=9" + ok, true, 1},
      {"NoConsoleNeither", neither, noConsole + "0can not find explorer or winlogon.", false, none},
      {"NoConsoleSessionListFails", noList,
       noConsole + "0current session id=3, pid=77current session id=2, pid=78" + ok, true, 2},
      {"NoConsoleSessionLookupFails", noLookup, noConsole + "0current session id=2, pid=78" + ok,
       true, 2},
      // Without its directory the companion path would lie at the drive's
      // root, where anyone may create it: nothing is looked at or started.
      {"UnknownExecutableDirectory", console,
       "LaunchProtectInUserSession: failed to get executable directory, skip launching "
       "zanbyprotect.exe\n",
       false, none, true, ""},
      {"NoConsoleNoSnapshot", noSnapshot, noConsole + "0can not find explorer or winlogon.", false,
       none},
  };
}

void PrintTo(const LaunchCase& c, std::ostream* os) { *os << c.name; }

class UserSessionLaunch : public ::testing::TestWithParam<LaunchCase> {};

TEST_P(UserSessionLaunch, LogsReleasesAndHandsOver) {
  const LaunchCase& c = GetParam();
  dptest::TempDir root;
  const std::filesystem::path dir = std::filesystem::path(root.wpath()) / c.dirName;
  std::filesystem::create_directories(dir / "rent_protect");
  const std::filesystem::path companion = dir / "rent_protect" / "zanbyprotect.exe";
  const std::wstring exeDir = std::string(c.dirName).empty() ? std::wstring() : dir.wstring();
  if (c.companion) {
    ASSERT_TRUE(dptest::WriteFileBytes(companion.wstring(), "MZ"));
  }

  fakesession::Reset(c.script);
  dptest::LogCapture log;
  EXPECT_EQ(LaunchProtectInUserSessionFrom(exeDir), c.result);

  EXPECT_EQ(log.Messages(), dptest::Expand(c.log, {{"<C>", companion.string()}}));
  EXPECT_EQ(fakesession::QueriedSession(), c.session);
  EXPECT_TRUE(fakesession::Unreleased().empty())
      << "left: " << ::testing::PrintToString(fakesession::Unreleased());
  // The process gets the primary-token duplicate, never the user token it came from.
  if (!fakesession::Creations().empty()) {
    ASSERT_EQ(fakesession::Duplications().size(), 1u);
    EXPECT_EQ(fakesession::Creations()[0].token, fakesession::Duplications()[0].duplicate);
    EXPECT_NE(fakesession::Creations()[0].token, fakesession::Duplications()[0].token);
  }
  EXPECT_EQ(fakesession::BadReleases(), 0);
  // Without a directory or a companion nothing is looked at.
  if (exeDir.empty() || !c.companion) {
    EXPECT_EQ(fakesession::CallCount(Call::WTSGetActiveConsoleSessionId), 0);
    return;
  }
  // A console session means no search.
  if (c.script.consoleSession != 0xFFFFFFFF) {
    EXPECT_EQ(fakesession::CallCount(Call::CreateToolhelp32Snapshot), 0);
  }

  for (const fakesession::Duplication& d : fakesession::Duplications()) {
    EXPECT_EQ(d.access, static_cast<DWORD>(MAXIMUM_ALLOWED));
    EXPECT_EQ(d.level, SecurityIdentification);
    EXPECT_EQ(d.type, TokenPrimary);
  }
  for (const fakesession::Creation& k : fakesession::Creations()) {
    const std::wstring path = companion.wstring();
    EXPECT_EQ(k.commandLine, path.find(L' ') == std::wstring::npos ? path : L"\"" + path + L"\"");
    EXPECT_TRUE(k.applicationNameNull);
    EXPECT_FALSE(k.inheritHandles);
    EXPECT_EQ(k.creationFlags, static_cast<DWORD>(CREATE_UNICODE_ENVIRONMENT));
    EXPECT_NE(k.environment, nullptr);
    EXPECT_TRUE(k.currentDirectoryNull);
    EXPECT_EQ(k.cb, 104u);
    EXPECT_EQ(k.desktop, L"winsta0\\default");
    EXPECT_EQ(k.startupFlags, static_cast<DWORD>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(k.showWindow, SW_SHOW);
  }
  EXPECT_EQ(fakesession::Creations().size(),
            c.result || c.script.failures.count(Call::CreateProcessAsUserW) ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, UserSessionLaunch, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FindSessionByProcessName, GathersThroughTheSeamAndReleasesBoth) {
  auto s = NoConsole(0, {{20, L"explorer.exe", 3}, {21, L"explorer.exe", 2}, {22, L"cmd.exe", 1}});
  s.sessions = {{1, nullptr, WTSActive}, {2, nullptr, WTSDisconnected}, {3, nullptr, WTSActive}};
  fakesession::Reset(s);
  dptest::LogCapture log;
  const SessionChoice choice = FindSessionByProcessName(L"explorer.exe");
  EXPECT_EQ(choice.sessionId, 3u);
  EXPECT_EQ(choice.processId, 20u);
  EXPECT_EQ(log.Messages(), "current session id=3, pid=20");
  // Only the processes of that name are asked for their session.
  EXPECT_EQ(fakesession::CallCount(Call::ProcessIdToSessionId), 2);
  EXPECT_EQ(fakesession::HandedOut(), 2) << "the session list and the snapshot";
  EXPECT_TRUE(fakesession::Unreleased().empty());
}

}  // namespace
