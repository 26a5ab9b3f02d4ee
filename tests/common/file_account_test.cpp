// Which runs write their user files as the console user: the rule as a table.
#include "common/file_account.h"

#include <gtest/gtest.h>

namespace {

TEST(FileAccount, OnlyTheSystemWithTheUsersAppDataWritesAsTheUser) {
  const struct {
    bool localSystem;
    const wchar_t* appData;
    const wchar_t* profile;
    bool asUser;
  } rows[] = {
      {true, L"C:\\Users\\ana\\AppData\\Roaming", L"C:\\Users\\ana", true},
      {true, L"c:\\users\\ANA\\AppData\\Roaming", L"C:\\Users\\ana\\", true},
      {false, L"C:\\Users\\ana\\AppData\\Roaming", L"C:\\Users\\ana", false},
      // The system's own profile, as a task run as SYSTEM has it.
      {true, L"C:\\Windows\\System32\\config\\systemprofile\\AppData\\Roaming", L"C:\\Users\\ana",
       false},
      {true, L"C:\\Users\\anabel\\AppData\\Roaming", L"C:\\Users\\ana", false},
      {true, L"C:\\Users\\ana", L"C:\\Users\\ana", false},
      {true, L"", L"C:\\Users\\ana", false},
      {true, L"C:\\Users\\ana\\AppData\\Roaming", L"", false},
  };
  for (const auto& r : rows)
    EXPECT_EQ(WritesAsTheUser(r.localSystem, r.appData, r.profile), r.asUser)
        << r.localSystem << " " << r.appData << " " << r.profile;
}

bool Impersonating() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return false;
  CloseHandle(token);
  return true;
}

TEST(FileAccount, ActsAsTheTokenWhileInScopeAndOnlyThen) {
  SetFileAccount(nullptr);
  {
    const AsFileAccount account;
    EXPECT_TRUE(account.ok());
    EXPECT_FALSE(Impersonating()) << "no token set, yet the thread impersonates";
  }
  HANDLE own = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &own));
  HANDLE token = nullptr;
  ASSERT_TRUE(DuplicateTokenEx(own, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                               TokenImpersonation, &token));
  CloseHandle(own);
  SetFileAccount(token);
  {
    const AsFileAccount account;
    EXPECT_TRUE(account.ok());
    EXPECT_TRUE(Impersonating());
  }
  EXPECT_FALSE(Impersonating()) << "not reverted";
  SetFileAccount(nullptr);
}

}  // namespace
