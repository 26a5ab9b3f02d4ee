#include "fake_file/fake_file.h"

#include <map>

#include "provision/file_replace_api.h"

namespace fakefile {
namespace {

struct State {
  std::vector<Failure> failures;
  std::map<Call, int> calls;
  std::vector<std::wstring> backups;
  std::vector<std::wstring> deletedAtRestart;
};

State& S() {
  static State state;
  return state;
}

// Counts the call; the scripted error for it, or 0.
DWORD Scripted(Call call) {
  const int n = ++S().calls[call];
  for (const Failure& f : S().failures)
    if (f.call == call && f.atCall == n) return f.error;
  return 0;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

void Reset(const std::vector<Failure>& failures) {
  S() = State();
  S().failures = failures;
}
int CallCount(Call call) { return S().calls[call]; }
const std::vector<std::wstring>& BackupNames() { return S().backups; }
const std::vector<std::wstring>& DeletedAtRestart() { return S().deletedAtRestart; }

}  // namespace fakefile

namespace fileapi {

using fakefile::Call;

BOOL ReplaceFileW(LPCWSTR lpReplacedFileName, LPCWSTR lpReplacementFileName,
                  LPCWSTR lpBackupFileName, DWORD dwReplaceFlags, LPVOID lpExclude,
                  LPVOID lpReserved) {
  fakefile::S().backups.push_back(lpBackupFileName ? lpBackupFileName : L"");
  const DWORD error = fakefile::Scripted(Call::ReplaceFileW);
  if (error == 0)
    return ::ReplaceFileW(lpReplacedFileName, lpReplacementFileName, lpBackupFileName,
                          dwReplaceFlags, lpExclude, lpReserved);
  // What each documented failure leaves behind.
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
    // "If lpBackupFileName was specified, the replaced and replacement files
    // retain their original file names. Otherwise, the replaced file no
    // longer exists and the replacement file exists under its original name."
    if (lpBackupFileName == nullptr) ::DeleteFileW(lpReplacedFileName);
  } else if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
    // "The replacement file still exists under its original name ... The file
    // to be replaced still exists with a different name. If lpBackupFileName
    // is specified, it will be the name of the replaced file."
    const std::wstring elsewhere = lpBackupFileName != nullptr
                                       ? std::wstring(lpBackupFileName)
                                       : std::wstring(lpReplacedFileName) + L".~replaced";
    ::MoveFileExW(lpReplacedFileName, elsewhere.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  // ERROR_UNABLE_TO_REMOVE_REPLACED and any other error: "the replaced and
  // replacement files will retain their original file names".
  return fakefile::Fail(error);
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  if (const DWORD error = fakefile::Scripted(Call::MoveFileExW)) return fakefile::Fail(error);
  if (dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    // Recorded only: the test prefix's registry is not the place for it.
    if (lpNewFileName == nullptr) fakefile::S().deletedAtRestart.push_back(lpExistingFileName);
    return TRUE;
  }
  return ::MoveFileExW(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
  if (const DWORD error = fakefile::Scripted(Call::DeleteFileW)) return fakefile::Fail(error);
  return ::DeleteFileW(lpFileName);
}

}  // namespace fileapi
