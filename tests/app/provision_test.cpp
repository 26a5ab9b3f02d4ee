// The provisioning sequence's own directory rule, fed the buffer that
// GetModuleFileNameA leaves (a name long enough to be cut cannot be started
// under Wine, so the buffer is given).
#include "app/provision.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/app_data.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

TEST(ProvisionVirtualMonitor, CutModuleNameStillGivesItsDirectory) {
  dptest::TempDir dir;
  const std::string appdata = dir.File("appdata");
  const dptest::ScopedAppData scoped(appdata);
  const std::string deployment = dir.File("deploy");
  // The name fills all 260 bytes: GetModuleFileNameA returned 260 and wrote
  // no terminator. The executable-directory helper would give empty text.
  char module[MAX_PATH];
  const std::string name = deployment + "\\" + std::string(MAX_PATH, 'a');
  name.copy(module, MAX_PATH);
  dptest::LogCapture log;
  ProvisionVirtualMonitorFrom(module, sizeof module);
  const std::string text = log.Messages();
  EXPECT_THAT(text, ::testing::HasSubstr("Searching in directory: " + deployment + "\\edid\n"));
}

}  // namespace
