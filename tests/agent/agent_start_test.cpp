// The agent's start through the session seam: what the new process is given
// (whose token, which session, desktop, environment, flags and folder) and
// that every token, block and handle but the process handle is released,
// however the start ends.
#include "agent/agent_start.h"

#include <gtest/gtest.h>

#include "fake_session/fake_session.h"
#include "launch/session_api.h"

namespace {

using fakesession::Call;

const std::wstring kProgram = L"C:\\Program Files\\displayprep\\displayprep.exe";
const std::wstring kFolder = L"C:\\Program Files\\displayprep";

TEST(AgentStartTest, SystemTokenInTheConsoleSessionWithTheUsersEnvironment) {
  fakesession::Reset({});
  const AgentStart s = StartInSession(kProgram, kFolder, 3);
  ASSERT_TRUE(s.started) << s.failure;
  EXPECT_EQ(s.processId, 4242u);

  // The service's own token, duplicated as a primary token and moved into
  // the session; the user's token only for the environment.
  ASSERT_EQ(fakesession::Duplications().size(), 1u);
  const fakesession::Duplication& d = fakesession::Duplications()[0];
  EXPECT_EQ(d.token, fakesession::Handed("own token").at(0)) << "not the service's own token";
  EXPECT_EQ(d.type, TokenPrimary);
  EXPECT_EQ(fakesession::EnvironmentTokens(),
            std::vector<HANDLE>{const_cast<void*>(fakesession::Handed("user token").at(0))})
      << "the environment is not the user's";
  ASSERT_EQ(fakesession::SessionSettings().size(), 1u);
  EXPECT_EQ(fakesession::SessionSettings()[0].token, d.duplicate);
  EXPECT_EQ(fakesession::SessionSettings()[0].sessionId, 3u);
  EXPECT_EQ(fakesession::QueriedSession(), 3u);

  ASSERT_EQ(fakesession::Creations().size(), 1u);
  const fakesession::Creation& c = fakesession::Creations()[0];
  EXPECT_EQ(c.token, d.duplicate) << "the system token, not the user's";
  EXPECT_EQ(c.applicationName, kProgram);
  EXPECT_EQ(c.commandLine, L"\"" + kProgram + L"\"");
  EXPECT_FALSE(c.inheritHandles);
  EXPECT_EQ(c.creationFlags, static_cast<DWORD>(CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW));
  EXPECT_EQ(c.environment, fakesession::Handed("environment block").at(0));
  EXPECT_EQ(c.currentDirectory, kFolder);
  EXPECT_EQ(c.desktop, L"winsta0\\default");
  EXPECT_EQ(c.cb, sizeof(STARTUPINFOW));

  EXPECT_EQ(fakesession::Unreleased(), std::vector<std::string>{"process handle"});
  sessionapi::CloseHandle(s.process);
  EXPECT_EQ(fakesession::BadReleases(), 0);
}

TEST(AgentStartTest, EveryFailureSaysWhereAndReleasesAll) {
  const std::pair<Call, const char*> rows[] = {
      {Call::OpenProcessToken, "OpenProcessToken failed (error 5)"},
      {Call::DuplicateTokenEx, "DuplicateTokenEx failed (error 5)"},
      {Call::SetTokenInformation, "SetTokenInformation(TokenSessionId) failed (error 5)"},
      {Call::WTSQueryUserToken, "WTSQueryUserToken failed (error 5)"},
      {Call::CreateEnvironmentBlock, "CreateEnvironmentBlock failed (error 5)"},
      {Call::CreateProcessAsUserW, "CreateProcessAsUserW failed (error 5)"},
  };
  for (const auto& [call, failure] : rows) {
    fakesession::Script script;
    script.failures[call] = ERROR_ACCESS_DENIED;
    fakesession::Reset(script);
    const AgentStart s = StartInSession(kProgram, kFolder, 1);
    EXPECT_FALSE(s.started) << failure;
    EXPECT_EQ(s.process, nullptr) << failure;
    EXPECT_EQ(s.failure, failure);
    EXPECT_TRUE(fakesession::Unreleased().empty()) << failure;
    EXPECT_EQ(fakesession::BadReleases(), 0) << failure;
  }
}

TEST(AgentStartTest, AskAboutSessionReadsTheProtocolAndTheUser) {
  fakesession::Script rdp;
  rdp.consoleSession = 1;
  rdp.clientProtocol = 2;
  rdp.failures[Call::WTSQueryUserToken] = ERROR_NO_TOKEN;
  fakesession::Reset(rdp);
  const SessionFacts remote = AskAboutSession(2);
  EXPECT_EQ(remote.session, 2u);
  EXPECT_EQ(remote.consoleSession, 1u);
  EXPECT_TRUE(remote.remote);
  EXPECT_FALSE(remote.userLoggedOn);

  fakesession::Reset({});
  const SessionFacts console = AskAboutSession(1);
  EXPECT_FALSE(console.remote);
  EXPECT_TRUE(console.userLoggedOn);
  EXPECT_TRUE(fakesession::Unreleased().empty());
}

}  // namespace
