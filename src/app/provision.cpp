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
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  ProvisionVirtualMonitorFrom(module, sizeof module);
}

void ProvisionVirtualMonitorFrom(const char* module, std::size_t capacity) {
  TargetMode mode;
  ReadTargetMode(mode);
  // The sequence's own rule, not the executable-directory helper's: a cut
  // module name still gives the directory it names.
  mode.exeDir = ModuleDirectoryInPlace(module, capacity, AnsiEncoding());

  const std::string best_hex = SelectEdidProfile(mode);
  if (!best_hex.empty()) LogMessage("Selected hex file: %s\n", best_hex.c_str());

  // Neither result changes what follows: a failed rewrite still starts the
  // helper with the file as it is, and the arrangement runs in any case.
  change_edid_monitor_name(best_hex.c_str(), TargetMonitorName.c_str());
  LaunchKexWithHex(best_hex);
}
