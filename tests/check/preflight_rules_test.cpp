// The pre-flight check's rules over what the system answered: the context
// line and its blocker, the display-call line and its blocker, and the exit
// code a report with several kinds of blocker gives.
#include <gtest/gtest.h>

#include "check/preflight.h"

namespace {

struct ContextRow {
  const char* name;
  ContextFacts facts;
  const char* text;
  bool blocked;
};

const ContextRow kContexts[] = {
    {"ConsoleSession", ContextFacts{"A", 1, 0, 1, 0}, "A, in session 1, the console session, local",
     false},
    {"SessionZero", ContextFacts{"A", 0, 0, 1, std::nullopt},
     "A, in session 0, the services' session (the console's is 1): no user's desktop", true},
    {"RemoteSession", ContextFacts{"A", 2, 0, 1, 2},
     "A, in session 2, a remote session (client protocol 2; the console's is 1)", true},
    {"AnotherLocalSession", ContextFacts{"A", 3, 0, 1, 0},
     "A, in session 3, local, not the console session (1)", true},
    {"NoConsoleSession", ContextFacts{"A", 1, 0, kPreflightNoSession, 0},
     "A, in session 1, local; no session is attached to the console", true},
    {"OwnSessionUnknown", ContextFacts{"A", std::nullopt, 5, 1, std::nullopt},
     "A, in an unknown session (error 5), local, not the console session (1)", true},
};

class Context : public ::testing::TestWithParam<ContextRow> {};

TEST_P(Context, SaysWhereAndBlocksOutsideTheConsole) {
  const ContextRow& r = GetParam();
  std::vector<Blocker> blockers;
  const PreflightLine line = JudgeContext(r.facts, blockers);
  EXPECT_EQ(line.label, "context");
  EXPECT_EQ(line.text, r.text);
  ASSERT_EQ(blockers.size(), r.blocked ? 1u : 0u);
  if (r.blocked) {
    EXPECT_EQ(blockers[0].kind, BlockerKind::kContext);
    EXPECT_FALSE(blockers[0].fix.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, Context, ::testing::ValuesIn(kContexts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayCalls, AnsweredWithDisplaysAloneIsNoBlocker) {
  const struct {
    LONG result;
    UINT32 paths, modes;
    const char* text;
  } rows[] = {
      {ERROR_SUCCESS, 2, 4, "answered"},
      {ERROR_SUCCESS, 0, 0, "answered, but with no display (0 paths, 0 modes)"},
      {ERROR_SUCCESS, 1, 0, "answered, but with no display (1 paths, 0 modes)"},
      {ERROR_ACCESS_DENIED, 0, 0,
       "refused with error 5 (no access to the console session's displays)"},
      {ERROR_NOT_SUPPORTED, 0, 0, "refused with error 50"},
  };
  for (const auto& r : rows) {
    std::vector<Blocker> blockers;
    EXPECT_EQ(JudgeDisplayCalls(r.result, r.paths, r.modes, blockers).text, r.text);
    ASSERT_EQ(blockers.size(), std::string(r.text) == "answered" ? 0u : 1u) << r.text;
    for (const Blocker& b : blockers) EXPECT_EQ(b.kind, BlockerKind::kDisplays) << r.text;
  }
}

TEST(Listing, WhatARunMakesOfIt) {
  const struct {
    bool callsAnswer, listed;
    std::size_t count;
    bool target;
    const char* run;
    std::size_t blockers;
  } rows[] = {
      {true, true, 1, false, "provisions the virtual monitor, then arranges", 0},
      // Connected but not shown: the extend topology switches it on.
      {true, true, 0, false, "provisions the virtual monitor, then arranges", 0},
      {true, false, 0, false, "provisions the virtual monitor, then arranges", 1},
      {false, false, 0, false, "provisions the virtual monitor, then arranges", 0},
      {true, true, 2, true, "arranges the two displays and makes TovikMonitor primary", 0},
      {true, true, 2, false, "arranges the two displays, but neither is TovikMonitor", 1},
      {true, true, 3, true, "changes nothing: three or more displays are listed", 1},
  };
  for (const auto& r : rows) {
    std::vector<Blocker> blockers;
    EXPECT_EQ(JudgeListing(r.callsAnswer, r.listed, r.count, r.target, blockers).text, r.run);
    ASSERT_EQ(blockers.size(), r.blockers) << r.run << " " << r.count;
    for (const Blocker& b : blockers) EXPECT_EQ(b.kind, BlockerKind::kDisplays);
  }
}

TEST(PreflightExitCode, TheFirstKindToMend) {
  auto report = [](std::vector<BlockerKind> kinds) {
    PreflightReport r;
    for (BlockerKind k : kinds) r.blockers.push_back({k, "what", "fix"});
    return r;
  };
  EXPECT_EQ(report({}).ExitCode(), 0);
  EXPECT_EQ(report({BlockerKind::kFiles}).ExitCode(), 4);
  EXPECT_EQ(report({BlockerKind::kFiles, BlockerKind::kDisplays}).ExitCode(), 3);
  EXPECT_EQ(report({BlockerKind::kDisplays, BlockerKind::kContext, BlockerKind::kFiles}).ExitCode(),
            2);
  EXPECT_EQ(FormatPreflightReport(report({BlockerKind::kFiles, BlockerKind::kDisplays})),
            "blocker (files): what: fix\n"
            "blocker (displays): what: fix\n"
            "verdict: a run would not reach its goal (exit code 3, displays)\n");
}

}  // namespace
