// The companion started directly, in the program's own session.
#include "launch/direct.h"

#include <gtest/gtest.h>

#include "support/log_capture.h"

namespace {

TEST(DirectLaunch, UnknownExecutableDirectoryIsRefused) {
  // The companion path would lie at the current drive's root, where anyone
  // may create it: the launch refuses before looking there.
  dptest::LogCapture log;
  EXPECT_FALSE(LaunchProtectDirectFrom(""));
  EXPECT_EQ(log.Messages(),
            "LaunchProtectDirect: failed to get executable directory, skip launching "
            "zanbyprotect.exe\n");
}

}  // namespace
