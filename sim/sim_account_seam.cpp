// The simulated builds' account (the program's and the pre-flight check's): what the context
// of the run (sim/sim_account.h) makes the program. Wine's own token names
// the Unix user in every context, so the account is answered from the
// context: the local system account in both system contexts, the logged-on
// user (Wine's) as an ordinary account otherwise (in the console session or a
// remote one).
#include <optional>

#include "common/account_api.h"
#include "sim/sim_account.h"

namespace accountapi {

Account CurrentAccount() {
  Account account;
  const std::optional<sim::Context> context = sim::CurrentContext(nullptr);
  if (!context) {
    account.error = ERROR_GEN_FAILURE;
    return account;
  }
  account.known = true;
  if (*context == sim::Context::kSystemConsole || *context == sim::Context::kSystemSession0) {
    account.name = L"NT AUTHORITY\\SYSTEM";
    account.localSystem = true;
    account.administrator = true;
    return account;
  }
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD computerSize = MAX_COMPUTERNAME_LENGTH + 1;
  wchar_t user[257] = {};
  DWORD userSize = 257;
  if (!GetComputerNameW(computer, &computerSize) || !GetUserNameW(user, &userSize)) {
    account.known = false;
    account.error = GetLastError();
    return account;
  }
  account.name = std::wstring(computer) + L"\\" + user;
  return account;
}

}  // namespace accountapi
