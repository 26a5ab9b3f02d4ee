// The rule that chooses the session to start the companion in, over what
// the system listed, as data.
#include "launch/session_choice.h"

#include <gtest/gtest.h>

#include "support/log_capture.h"

namespace {

using Sessions = std::vector<ListedSession>;
using Processes = std::vector<SnapshotProcess>;

struct ChoiceCase {
  const char* name;
  Sessions sessions;
  Processes processes;
  DWORD session, process;  // 0xFFFFFFFF: nothing chosen
  std::string log;
};

const ChoiceCase kChoices[] = {
    {"ListedActiveSessionsTheLastWins", Sessions{{1, true}, {2, true}},
     Processes{{10, L"explorer.exe", 2}, {11, L"explorer.exe", 1}, {12, L"notepad.exe", 1}}, 1, 11,
     "current session id=2, pid=10current session id=1, pid=11"},
    {"InactiveOrUnlistedSessionsAreNotTaken", Sessions{{1, false}, {2, true}},
     Processes{{10, L"explorer.exe", 1}, {11, L"explorer.exe", 5}}, 0xFFFFFFFF, 0xFFFFFFFF, ""},
    {"EmptyListTheLowestSessionWins", Sessions{},
     Processes{{10, L"explorer.exe", 4},
               {11, L"explorer.exe", 2},
               {12, L"explorer.exe", 3},
               {13, L"explorer.exe", 2},
               {14, L"explorer.exe", 0}},
     0, 14, "current session id=4, pid=10current session id=2, pid=11current session id=0, pid=14"},
    {"NamesCompareWithoutCase", Sessions{},
     Processes{{10, L"EXPLORER.EXE", 1}, {11, L"Explorer.exe.bak", 0}, {12, L"xexplorer.exe", 0}},
     1, 10, "current session id=1, pid=10"},
    {"FailedSessionLookupIsPassedOver", Sessions{},
     Processes{{10, L"explorer.exe", std::nullopt}, {11, L"explorer.exe", 6}}, 6, 11,
     "current session id=6, pid=11"},
};

class SessionChoiceRule : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(SessionChoiceRule, ChoosesAndLogs) {
  const ChoiceCase& c = GetParam();
  dptest::LogCapture log;
  const SessionChoice choice = ChooseSession(L"explorer.exe", c.sessions, c.processes);
  EXPECT_EQ(choice.sessionId, c.session);
  EXPECT_EQ(choice.processId, c.process);
  EXPECT_EQ(choice.chosen(), c.session != 0xFFFFFFFF);
  EXPECT_EQ(log.Messages(), c.log);
}

INSTANTIATE_TEST_SUITE_P(Rules, SessionChoiceRule, ::testing::ValuesIn(kChoices),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
