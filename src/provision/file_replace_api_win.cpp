#include "provision/file_replace_api.h"

namespace fileapi {

BOOL ReplaceFileW(LPCWSTR lpReplacedFileName, LPCWSTR lpReplacementFileName,
                  LPCWSTR lpBackupFileName, DWORD dwReplaceFlags, LPVOID lpExclude,
                  LPVOID lpReserved) {
  return ::ReplaceFileW(lpReplacedFileName, lpReplacementFileName, lpBackupFileName, dwReplaceFlags,
                        lpExclude, lpReserved);
}

BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags) {
  return ::MoveFileExW(lpExistingFileName, lpNewFileName, dwFlags);
}

BOOL DeleteFileW(LPCWSTR lpFileName) { return ::DeleteFileW(lpFileName); }

}  // namespace fileapi
