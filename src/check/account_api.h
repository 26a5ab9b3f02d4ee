// The account seam of the pre-flight check: who the program runs as. The
// shipped check asks the process token (account_win.cpp); the simulated one
// answers for the context the test chose (sim/sim_check_account.cpp).
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
