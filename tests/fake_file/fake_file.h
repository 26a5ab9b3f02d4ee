// Tests that link dp_fake_file instead of the real file-replace calls get the
// system's own answers unless they script one: a scripted ReplaceFileW
// failure leaves the files as Microsoft documents for that code, a scripted
// MoveFileExW or DeleteFileW failure changes nothing. Delayed operations
// (MOVEFILE_DELAY_UNTIL_REBOOT) are recorded, never registered with the system.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace fakefile {

enum class Call { ReplaceFileW, MoveFileExW, DeleteFileW };

// Call number `atCall` (from 1, counted per function) fails with `error`.
struct Failure {
  Call call;
  int atCall;
  DWORD error;
};

// Starts afresh: no call counted, nothing recorded, these failures scripted.
void Reset(const std::vector<Failure>& failures = {});

int CallCount(Call call);
// The backup names ReplaceFileW was given (empty for none), in call order.
const std::vector<std::wstring>& BackupNames();
// The files scheduled for deletion at the next restart.
const std::vector<std::wstring>& DeletedAtRestart();

}  // namespace fakefile
