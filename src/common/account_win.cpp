#include <vector>

#include "common/account_api.h"

namespace accountapi {

namespace {

class Token {
 public:
  ~Token() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE* out() { return &handle_; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace

Account CurrentAccount() {
  Account account;
  Token token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.out())) {
    account.error = GetLastError();
    return account;
  }
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
    account.error = GetLastError();
    return account;
  }
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  account.localSystem = IsWellKnownSid(sid, WinLocalSystemSid) != FALSE;
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD administratorsSize = sizeof administrators;
  BOOL member = FALSE;
  // A filtered (unelevated) token holds the group for denying only: not a member.
  account.administrator = CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators,
                                             &administratorsSize) &&
                          CheckTokenMembership(nullptr, administrators, &member) && member;
  wchar_t name[256] = {}, domain[256] = {};
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    account.error = GetLastError();
    return account;
  }
  account.known = true;
  account.name = domain[0] != L'\0' ? std::wstring(domain) + L"\\" + name : std::wstring(name);
  return account;
}

}  // namespace accountapi
