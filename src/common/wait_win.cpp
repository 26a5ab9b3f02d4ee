#include "common/wait_api.h"

namespace waitapi {

void Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

}  // namespace waitapi
