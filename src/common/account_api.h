// The account seam: who the program runs as, for the pre-flight check's
// report and for the run's choice of the account its user files are written
// as (file_account.h). The shipped programs ask the process token
// (account_win.cpp); the simulated ones answer for the context the test
// chose (sim/sim_account_seam.cpp).
#pragma once

#include <windows.h>

#include <string>

namespace accountapi {

struct Account {
  bool known = false;  // false: the token could not be read (`error` says why)
  DWORD error = 0;
  std::wstring name;  // DOMAIN\name
  bool localSystem = false;
  // Holds the Administrators group in its token, enabled (elevated): it may
  // ask the service manager and read every install folder's rights.
  bool administrator = false;
};

Account CurrentAccount();

}  // namespace accountapi
