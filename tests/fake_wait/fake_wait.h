// Tests that link dp_fake_wait instead of the real Sleep see every wait the
// code asked for, and no time passes.
#pragma once

#include <windows.h>

#include <vector>

std::vector<DWORD>& RecordedWaits();
