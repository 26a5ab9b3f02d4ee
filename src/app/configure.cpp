#include "app/configure.h"

#include <vector>

#include "app/arrange.h"
#include "display/enumerate.h"
#include "log/log.h"

int ConfigureDisplays() {
  std::vector<DisplayInfo> displays;
  int activeCount = 0;
  if (!EnumerateDisplays(displays, activeCount)) LogMessage("EnumerateDisplays failed.\n");

  // Every listed path counts here, active or not.
  const auto listed = displays.size();
  if (listed < 2) {
    // Provisioning of the virtual monitor belongs here; it is not built yet,
    // so a machine without a second display goes straight to the arrangement.
  }
  if (listed < 3) return ArrangeDisplays(displays, activeCount);

  LogMessage("too many monitor found.\n");
  return -1;
}
