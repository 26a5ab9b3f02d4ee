#include "app/configure.h"
#include "common/file_account.h"
#include "launch/direct.h"
#include "launch/file_account_token.h"
#include "launch/user_session.h"
#include "log/log.h"

// No options: arguments are ignored, and the exit code is 0 whatever happened;
// every outcome is told in the log instead.
int main(int, char**) {
  // Started by the agent as the local system account, the user's own files
  // are read and written as the user.
  SetFileAccount(FileAccountForRun());
  ConfigureDisplays();
  // The companion starts whatever the display stage achieved.
  if (!LaunchProtectInUserSession()) {
    LogMessage("create user process failed. \n");
    LaunchProtectDirect();
  }
  return 0;
}
