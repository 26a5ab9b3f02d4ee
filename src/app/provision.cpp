#include "app/provision.h"

#include <windows.h>

#include "app/target_monitor.h"
#include "common/code_page.h"
#include "common/module_dir.h"
#include "log/log.h"
#include "provision/edid_profile.h"
#include "provision/edid_rewrite.h"
#include "provision/kex_launch.h"
#include "provision/target_mode.h"

void ProvisionVirtualMonitor() {
  TargetMode mode;
  ReadTargetMode(mode);

  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  mode.exeDir = ModuleDirectoryInPlace(module, sizeof module, AnsiEncoding());

  const std::string best_hex = SelectEdidProfile(mode);
  if (!best_hex.empty()) LogMessage("Selected hex file: %s\n", best_hex.c_str());

  // Neither result changes what follows: a failed rewrite still starts the
  // helper with the file as it is, and the arrangement runs in any case.
  change_edid_monitor_name(best_hex.c_str(), TargetMonitorName.c_str());
  LaunchKexWithHex(best_hex);
}
