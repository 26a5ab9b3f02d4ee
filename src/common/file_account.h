// The account a run reads and writes the user's own files as: store.dat, the
// log folders, display.log and c:\dp.log. Started by the agent, the program
// is the local system account with the user's environment, so those files
// lie in a profile the user controls; written as the local system account, a
// junction or link planted there would turn the system's writes on any file
// of the machine. So such a run reads and writes them as the console user,
// whose own they are. Every other run keeps its own account.
#pragma once

#include <windows.h>

#include <string>

// Whether a run writes its user files as the console user: it is the local
// system account and its APPDATA lies in that user's profile folder (compared
// as Windows compares paths, ignoring case).
bool WritesAsTheUser(bool localSystem, const std::wstring& appData,
                     const std::wstring& userProfile);

// Sets the token the user files are read and written as (owned from now on,
// closed at exit); null: the program's own account.
void SetFileAccount(HANDLE token);

// While it lives, this thread acts as the file account, when one is set.
// ok() is false when that could not be done: then nothing is to be read or
// written, rather than done as the program's own, more powerful, account.
class AsFileAccount {
 public:
  AsFileAccount();
  ~AsFileAccount();
  AsFileAccount(const AsFileAccount&) = delete;
  AsFileAccount& operator=(const AsFileAccount&) = delete;
  bool ok() const { return ok_; }

 private:
  bool impersonating_ = false;
  bool ok_ = true;
};
