// The state file on disk: where it is, the lock that serialises every access
// across processes, and the atomic replacement that keeps readers from ever
// seeing half a file.
//
// The lock is a byte range lock (LockFileEx) on "<state>.lock": Wine honours
// it across processes and drops it when its holder dies (docs/sim.md). The
// state itself is replaced by writing a temporary file in the same directory
// and renaming it over the old one.
#include <cstdio>
#include <string>

#include "sim/sim.h"
#include "sim/sim_text.h"

namespace sim {

namespace {

std::wstring& PathOverride() {
  static std::wstring path;
  return path;
}

void Complain(const std::string& message) {
  const std::string line = "dpsim: " + message + "\n";
  OutputDebugStringA(line.c_str());
  fputs(line.c_str(), stderr);
  fflush(stderr);
}

std::string SystemError(const char* what, DWORD code) {
  return std::string(what) + " failed with Windows error " + std::to_string(code);
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() {
    if (valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

// Holds the cross-process lock for its lifetime.
class StateLock {
 public:
  explicit StateLock(const std::wstring& statePath)
      : file_(CreateFileW((statePath + L".lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (!file_.valid()) {
      error_ = SystemError("opening the lock file", GetLastError());
      return;
    }
    if (!LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &overlapped_)) {
      error_ = SystemError("LockFileEx", GetLastError());
      return;
    }
    locked_ = true;
  }
  ~StateLock() {
    if (locked_) UnlockFileEx(file_.get(), 0, 1, 0, &overlapped_);
  }
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;

  bool locked() const { return locked_; }
  const std::string& error() const { return error_; }

 private:
  Handle file_;
  OVERLAPPED overlapped_{};
  bool locked_ = false;
  std::string error_;
};

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWholeFile(const std::wstring& path, std::string* text, std::string* error) {
  // Share delete too, so that a writer's rename is never refused because of us.
  Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND) return ReadResult::Missing;
    *error = SystemError("opening the state file", code);
    return ReadResult::Failed;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 64 * 1024 * 1024) {
    *error = "the state file cannot be sized or is larger than 64 MB";
    return ReadResult::Failed;
  }
  text->assign(static_cast<size_t>(size.QuadPart), '\0');
  DWORD done = 0;
  size_t offset = 0;
  while (offset < text->size()) {
    if (!ReadFile(file.get(), text->data() + offset, static_cast<DWORD>(text->size() - offset),
                  &done, nullptr)) {
      *error = SystemError("reading the state file", GetLastError());
      return ReadResult::Failed;
    }
    if (done == 0) break;
    offset += done;
  }
  text->resize(offset);
  return ReadResult::Ok;
}

bool WriteAtomically(const std::wstring& path, const std::string& text, std::string* error) {
  const std::wstring temp = path + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(GetCurrentThreadId());
  DWORD failure = ERROR_SUCCESS;
  {
    Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      *error = SystemError("creating the temporary state file", GetLastError());
      return false;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(file.get())) {
      failure = GetLastError();
      if (failure == ERROR_SUCCESS) failure = ERROR_WRITE_FAULT;
    }
  }
  if (failure != ERROR_SUCCESS) {
    *error = SystemError("writing the temporary state file", failure);
    DeleteFileW(temp.c_str());
    return false;
  }
  // A reader outside our lock (an editor, say) that holds the file without
  // delete sharing makes the rename fail for a moment; try again briefly.
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(temp.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD code = GetLastError();
    if (attempt >= 50 || (code != ERROR_ACCESS_DENIED && code != ERROR_SHARING_VIOLATION)) {
      *error = SystemError("replacing the state file", code);
      DeleteFileW(temp.c_str());
      return false;
    }
    Sleep(20);
  }
}

// Reads and parses under an already held lock.
ReadResult ReadMachine(const std::wstring& path, Machine* machine, std::string* error) {
  std::string text;
  const ReadResult read = ReadWholeFile(path, &text, error);
  if (read != ReadResult::Ok) return read;
  if (!MachineFromJson(text, machine, error)) return ReadResult::Failed;
  return ReadResult::Ok;
}

std::string Where(const std::wstring& path) { return "state file " + ToUtf8(path) + ": "; }

}  // namespace

std::wstring StatePath() {
  if (!PathOverride().empty()) return PathOverride();
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(L"DPSIM_STATE", buffer, 32768);
  if (n > 0 && n < 32768) return std::wstring(buffer, n);
  const DWORD len = GetModuleFileNameW(nullptr, buffer, 32768);
  std::wstring dir;
  if (len > 0 && len < 32768) {
    dir.assign(buffer, len);
    const size_t slash = dir.find_last_of(L"\\/");
    dir = slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1);
  }
  return dir + L"sim-state.json";
}

void SetStatePath(const std::wstring& path) { PathOverride() = path; }

void SetStatePath(const std::string& path) {
  std::wstring wide;
  if (!path.empty()) {
    const int n =
        MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    wide.assign(n > 0 ? n : 0, L'\0');
    if (n > 0) {
      MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), n);
    }
  }
  SetStatePath(wide);
}

uint64_t NowMs() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;  // 1970-01-01 in 100 ns
  return ticks < kUnixEpochTicks ? 0 : (ticks - kUnixEpochTicks) / 10000;
}

bool LoadMachine(Machine* machine, std::string* error) {
  const std::wstring path = StatePath();
  std::string why;
  StateLock lock(path);
  if (!lock.locked()) {
    if (error) *error = Where(path) + lock.error();
    return false;
  }
  const ReadResult read = ReadMachine(path, machine, &why);
  if (read == ReadResult::Ok) return true;
  if (error) *error = Where(path) + (read == ReadResult::Missing ? "does not exist" : why);
  return false;
}

bool SaveMachine(const Machine& machine, std::string* error) {
  const std::wstring path = StatePath();
  std::string why = CheckMachine(machine);
  if (why.empty()) {
    StateLock lock(path);
    if (!lock.locked()) {
      why = lock.error();
    } else if (WriteAtomically(path, MachineToJson(machine), &why)) {
      return true;
    }
  }
  if (error) *error = Where(path) + why;
  return false;
}

LONG UpdateMachine(const std::function<LONG(Machine&)>& change) {
  const std::wstring path = StatePath();
  StateLock lock(path);
  if (!lock.locked()) {
    Complain(Where(path) + lock.error());
    return ERROR_GEN_FAILURE;
  }
  Machine machine;
  std::string why;
  const ReadResult read = ReadMachine(path, &machine, &why);
  if (read == ReadResult::Failed) {
    Complain(Where(path) + why + " (left unchanged)");
    return ERROR_GEN_FAILURE;
  }
  if (read == ReadResult::Missing) {
    machine = *BuiltInMachine("one-display");
    machine.createdAtMs = NowMs();
  }
  const LONG result = change(machine);
  why = CheckMachine(machine);
  if (!why.empty()) {
    Complain(Where(path) + "a change left an unsound machine, not saved: " + why);
    return ERROR_GEN_FAILURE;
  }
  if (!WriteAtomically(path, MachineToJson(machine), &why)) {
    Complain(Where(path) + why);
    return ERROR_GEN_FAILURE;
  }
  return result;
}

}  // namespace sim
