// When the agent runs displayprep: every kind of event against every kind of
// session, as one table over the decision rule.
#include "agent/agent_decision.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint32_t kNone = kNoConsoleSession;

struct Row {
  const char* name;
  AgentState before;
  AgentEvent event;
  SessionFacts facts;  // session, console session, remote, user logged on
  Verdict verdict;
  const char* reason;
  AgentState after;
};

const Row kRows[] = {
    {"ServiceStartWithAUserAtTheConsole", AgentState{}, AgentEvent::kServiceStart,
     SessionFacts{1, 1, false, true}, Verdict::kStart, "the console session, a user logged on",
     AgentState{1, {1}, {}}},
    {"ServiceStartWithNobodyLoggedOn", AgentState{}, AgentEvent::kServiceStart,
     SessionFacts{1, 1, false, false}, Verdict::kSkip, "no user is logged on", AgentState{}},
    {"ServiceStartWithNoConsoleSession", AgentState{}, AgentEvent::kServiceStart,
     SessionFacts{kNone, kNone, false, false}, Verdict::kSkip,
     "no session is attached to the console", AgentState{}},
    {"LogonAtTheConsole", AgentState{}, AgentEvent::kLogon, SessionFacts{1, 1, false, true},
     Verdict::kStart, "the console session, a user logged on", AgentState{1, {1}, {}}},
    {"LogonOfAnotherSession", AgentState{}, AgentEvent::kLogon, SessionFacts{2, 1, true, true},
     Verdict::kSkip, "not the console session (1)", AgentState{}},
    {"RemoteClientOnTheConsoleSession", AgentState{}, AgentEvent::kConsoleConnect,
     SessionFacts{1, 1, true, true}, Verdict::kSkip, "a remote session", AgentState{}},
    {"SessionZero", AgentState{}, AgentEvent::kLogon, SessionFacts{0, 0, false, true},
     Verdict::kSkip, "session 0 has no user's desktop", AgentState{}},
    {"ConsoleConnectBeforeTheLogon", AgentState{}, AgentEvent::kConsoleConnect,
     SessionFacts{3, 3, false, false}, Verdict::kSkip, "no user is logged on", AgentState{}},
    {"ConsoleConnectAfterThisLogonsRun", AgentState{{}, {1}, {}}, AgentEvent::kConsoleConnect,
     SessionFacts{1, 1, false, true}, Verdict::kSkip, "already run for this logon",
     AgentState{{}, {1}, {}}},
    {"ConsoleConnectOfALogonNotRunYet", AgentState{{}, {1}, {}}, AgentEvent::kConsoleConnect,
     SessionFacts{2, 2, false, true}, Verdict::kStart, "the console session, a user logged on",
     AgentState{2, {1, 2}, {}}},
    {"ANewLogonRunsAgain", AgentState{{}, {1}, {}}, AgentEvent::kLogon,
     SessionFacts{1, 1, false, true}, Verdict::kStart, "the console session, a user logged on",
     AgentState{1, {1}, {}}},
    {"LogonWhileARunGoesOn", AgentState{1, {1}, {}}, AgentEvent::kLogon,
     SessionFacts{2, 2, false, true}, Verdict::kDefer,
     "a run is in progress; looked at again when it ends", AgentState{1, {1}, 2}},
    {"TheDeferredLogonAfterTheRun", AgentState{{}, {1}, 2}, AgentEvent::kRunEnded,
     SessionFacts{2, 2, false, true}, Verdict::kStart, "the console session, a user logged on",
     AgentState{2, {1, 2}, {}}},
    {"TheDeferredSessionLeftTheConsole", AgentState{{}, {1}, 2}, AgentEvent::kRunEnded,
     SessionFacts{2, 1, false, true}, Verdict::kSkip, "not the console session (1)",
     AgentState{{}, {1}, {}}},
    {"LogoffForgetsTheLogonAndWhatWaited", AgentState{1, {1, 2}, 2}, AgentEvent::kLogoff,
     SessionFacts{2, 1, false, false}, Verdict::kSkip, "the user logged off",
     AgentState{1, {1}, {}}},
};

class AgentDecision : public ::testing::TestWithParam<Row> {};

TEST_P(AgentDecision, DecidesAndRemembers) {
  const Row& r = GetParam();
  AgentState state = r.before;
  const Decision d = Decide(state, r.event, r.facts);
  EXPECT_EQ(d.verdict, r.verdict);
  EXPECT_EQ(d.reason, r.reason);
  EXPECT_EQ(state.running, r.after.running);
  EXPECT_EQ(state.ranThisLogon, r.after.ranThisLogon);
  EXPECT_EQ(state.pending, r.after.pending);
}

INSTANTIATE_TEST_SUITE_P(Rows, AgentDecision, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AgentDecisionRunEnded, ForgetsTheRunAndHandsBackWhatWaited) {
  AgentState state{1, {1}, 2};
  EXPECT_EQ(RunEnded(state), std::optional<std::uint32_t>(2));
  EXPECT_FALSE(state.running.has_value());
  AgentState idle{1, {1}, {}};
  EXPECT_FALSE(RunEnded(idle).has_value());
}

}  // namespace
