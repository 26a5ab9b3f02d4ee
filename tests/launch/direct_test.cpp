// The companion started directly, in the program's own session.
#include "launch/direct.h"

#include <gtest/gtest.h>

#include "support/log_capture.h"

namespace {

TEST(DirectLaunch, UnknownExecutableDirectoryLooksAtTheDriveRoot) {
  // The path is tested as it stands, relative to the current drive's root,
  // where no companion stands.
  dptest::LogCapture log;
  EXPECT_FALSE(LaunchProtectDirectFrom(""));
  EXPECT_EQ(log.Messages(), "Target executable not found: \\rent_protect\\zanbyprotect.exe\n");
}

}  // namespace
