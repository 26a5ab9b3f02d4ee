// The file-replace seam: the three Windows calls that decide where the
// rewritten EDID file and the original end up, with their Windows signatures.
// The programs link file_replace_api_win.cpp (straight through to the
// system); unit tests link a fake that passes through to the system but can
// answer any call as Windows documents its failures, which Wine never
// produces on its own.
#pragma once

#include <windows.h>

namespace fileapi {

BOOL ReplaceFileW(LPCWSTR lpReplacedFileName, LPCWSTR lpReplacementFileName,
                  LPCWSTR lpBackupFileName, DWORD dwReplaceFlags, LPVOID lpExclude,
                  LPVOID lpReserved);
BOOL MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
BOOL DeleteFileW(LPCWSTR lpFileName);

}  // namespace fileapi
