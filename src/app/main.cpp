#include "app/configure.h"
#include "launch/direct.h"
#include "launch/user_session.h"
#include "log/log.h"

// No options: arguments are ignored, and the exit code is 0 whatever happened;
// every outcome is told in the log instead.
int main(int, char**) {
  ConfigureDisplays();
  // The companion starts whatever the display stage achieved.
  if (!LaunchProtectInUserSession()) {
    LogMessage("create user process failed. \n");
    LaunchProtectDirect();
  }
  return 0;
}
