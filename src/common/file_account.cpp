#include "common/file_account.h"

#include <cwctype>

namespace {

class Holder {
 public:
  ~Holder() { Set(nullptr); }
  void Set(HANDLE token) {
    if (token_ != nullptr) CloseHandle(token_);
    token_ = token;
  }
  HANDLE get() const { return token_; }

 private:
  HANDLE token_ = nullptr;
};

Holder& Account() {
  static Holder holder;
  return holder;
}

std::wstring Folded(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  while (!text.empty() && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return text;
}

}  // namespace

bool WritesAsTheUser(bool localSystem, const std::wstring& appData,
                     const std::wstring& userProfile) {
  if (!localSystem || appData.empty() || userProfile.empty()) return false;
  const std::wstring data = Folded(appData);
  const std::wstring profile = Folded(userProfile) + L"\\";
  return data.compare(0, profile.size(), profile) == 0;
}

void SetFileAccount(HANDLE token) { Account().Set(token); }

AsFileAccount::AsFileAccount() {
  if (Account().get() == nullptr) return;
  impersonating_ = ImpersonateLoggedOnUser(Account().get()) != FALSE;
  ok_ = impersonating_;
}

AsFileAccount::~AsFileAccount() {
  if (impersonating_) RevertToSelf();
}
