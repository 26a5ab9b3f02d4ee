#include "fake_wait/fake_wait.h"

#include "common/wait_api.h"

std::vector<DWORD>& RecordedWaits() {
  static std::vector<DWORD> waits;
  return waits;
}

namespace waitapi {

void Sleep(DWORD milliseconds) { RecordedWaits().push_back(milliseconds); }

}  // namespace waitapi
