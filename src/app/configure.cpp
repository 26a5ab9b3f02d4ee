#include "app/configure.h"

#include <vector>

#include "app/arrange.h"
#include "app/provision.h"
#include "display/enumerate.h"
#include "log/log.h"

int ConfigureDisplays() {
  std::vector<DisplayInfo> displays;
  int activeCount = 0;
  if (!EnumerateDisplays(displays, activeCount)) LogMessage("EnumerateDisplays failed.\n");

  // Every listed path counts here, active or not.
  const auto listed = displays.size();
  // The virtual monitor shows up only in the loop's own listings: nothing is
  // listed again here, and the helper is given its time by the loop's waits.
  if (listed < 2) ProvisionVirtualMonitor();
  if (listed < 3) return ArrangeDisplays(displays, activeCount);

  LogMessage("too many monitor found.\n");
  return -1;
}
