#include "app/configure.h"

// No options: arguments are ignored, and the exit code is 0 whatever happened;
// every outcome is told in the log instead.
int main(int, char**) {
  ConfigureDisplays();
  // The companion launch (user session first, direct start as fallback)
  // follows the display stage here once it is built.
  return 0;
}
