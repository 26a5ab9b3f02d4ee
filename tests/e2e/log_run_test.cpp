// The log's three outputs, seen from outside the program: the debugger gets
// the bare messages, c:\dp.log one exact line per run however many messages
// the run logs, the console the messages in text mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "support/sandbox.h"

namespace {

using ::testing::HasSubstr;

TEST(TraceFile, OneLinePerRunAndBareMessagesForTheDebugger) {
  const dptest::EmptyTraceFile trace;

  dptest::Sandbox box;
  box.Install("displayprep-sim.exe");
  // The virtual monitor primary already: a short run of several messages.
  box.UseMachine(dptest::SideBySide({{"TovikMonitor"}, {"DELL U2720Q", 2560, 1440}}));
  box.CaptureDebugOutput(true);
  const RunResult first = box.Run("displayprep-sim.exe");
  box.CaptureDebugOutput(false);
  const RunResult second = box.Run("displayprep-sim.exe", {}, false);

  ASSERT_TRUE(first.started && second.started);
  EXPECT_FALSE(first.timedOut);
  const std::string messages = box.Log();
  ASSERT_THAT(messages, HasSubstr("is already primary, no change.\n"));
  EXPECT_GE(std::count(messages.begin(), messages.end(), '\n'), 8);
  // Exactly one line per run, in binary (LF alone), the second without APPDATA.
  EXPECT_EQ(trace.Now(), "logpath " + box.appdata() + ", len " +
                             std::to_string(box.appdata().size()) + " .\nlogpath , len 0 .\n");
  // The debugger gets each message as it stands: no prefix, "\n" not CR LF.
  EXPECT_EQ(first.debugOutput, messages);
  EXPECT_EQ(dptest::CrLfToLf(first.output), messages) << "the console: text mode, no prefix";
  EXPECT_THAT(first.output, HasSubstr("\r\n"));
}

}  // namespace
