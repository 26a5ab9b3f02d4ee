// The waiting seam. The programs link wait_win.cpp (a real Sleep); unit tests
// link a recorder so that retry loops run without waiting real seconds.
#pragma once

#include <windows.h>

namespace waitapi {

void Sleep(DWORD milliseconds);

}  // namespace waitapi
