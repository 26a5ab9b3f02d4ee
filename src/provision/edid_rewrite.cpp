#include "provision/edid_rewrite.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/file_api_text.h"
#include "log/log.h"
#include "provision/file_replace_api.h"

namespace {

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    if (!valid()) return true;
    const bool closed = CloseHandle(handle_) != 0;
    handle_ = INVALID_HANDLE_VALUE;
    return closed;
  }

 private:
  HANDLE handle_;
};

enum class ReplaceResult { kReplaced, kOpenFailed, kWriteFailed };

// A new file beside the original, so that the final rename stays within one volume.
FileHandle CreateTemporaryBeside(const std::wstring& path, std::wstring& temporary) {
  const std::wstring stem = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = stem + std::to_wstring(attempt) + L".tmp";
    HANDLE handle = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return FileHandle(handle);
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  temporary.clear();
  return FileHandle(INVALID_HANDLE_VALUE);
}

bool WriteAll(HANDLE file, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return FlushFileBuffers(file) != 0;
}

// Removes a file of ours. One that cannot go now (held open by a scanner,
// say) is left to the system to remove at the next restart.
void Discard(const std::wstring& file) {
  if (fileapi::DeleteFileW(file.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return;
  fileapi::MoveFileExW(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool RenameOnto(const std::wstring& from, const std::wstring& to) {
  return fileapi::MoveFileExW(from.c_str(), to.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// Puts `temporary` in the original's place. True when the new bytes stand
// under `path`; false when the original does, as it was. Either way neither
// the temporary nor the backup is left beside it.
//
// ReplaceFileW keeps what belongs to the original rather than to its bytes
// (attributes, security descriptor, other streams). It is given a backup
// name because its partial failures are defined by it: with one, 1176 leaves
// both files under their own names, and 1177 leaves the original under the
// backup name (without one, 1176 has deleted the original and 1177 has moved
// it to a name nobody is told). Where it refuses, the plain rename still
// replaces in one step.
bool PutInPlace(const std::wstring& path, const std::wstring& temporary) {
  // Replacing means deleting the original: when someone holds it without
  // letting it be deleted, give up before trying (Wine's ReplaceFileW would
  // leave a file of its own behind in the directory).
  {
    FileHandle deletable(CreateFileW(path.c_str(), DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!deletable.valid() && GetLastError() != ERROR_FILE_NOT_FOUND) {
      Discard(temporary);
      return false;
    }
  }
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const std::wstring backup = temporary + L".old";
  bool replaced = fileapi::ReplaceFileW(path.c_str(), temporary.c_str(), backup.c_str(),
                                        REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr) != 0;
  if (!replaced) {
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      // Nothing stands under `path` now: the new bytes go there, or else the
      // original goes back. Should the system refuse both renames, the two
      // files stay where they are, the only copies there are.
      replaced = RenameOnto(temporary, path);
      if (!replaced && !RenameOnto(backup, path)) return false;
    } else {
      // 1176, 1175 and every other error leave both files under their names.
      replaced = RenameOnto(temporary, path);
    }
  }
  Discard(replaced ? backup : temporary);
  if (!replaced) return false;
  // Not every ReplaceFileW carries the attributes over (Wine's does not).
  if (attributes != INVALID_FILE_ATTRIBUTES && GetFileAttributesW(path.c_str()) != attributes)
    SetFileAttributesW(path.c_str(), attributes);
  return true;
}

ReplaceResult ReplaceFileContents(const std::string& filename,
                                  const std::vector<std::uint8_t>& bytes) {
  const std::wstring path = FileApiWide(filename);
  if (path.empty() || !WhyEdidFileCannotBeRewritten(filename).empty())
    return ReplaceResult::kOpenFailed;

  std::wstring temporary;
  FileHandle file = CreateTemporaryBeside(path, temporary);
  if (!file.valid()) return ReplaceResult::kOpenFailed;

  const bool written = WriteAll(file.get(), bytes);
  const bool closed = file.Close();
  if (!written || !closed) {
    Discard(temporary);
    return ReplaceResult::kWriteFailed;
  }
  return PutInPlace(path, temporary) ? ReplaceResult::kReplaced : ReplaceResult::kWriteFailed;
}

}  // namespace

// Asked without truncating the original. Windows refuses a read-only file by
// itself, but Wine run as root does not (it leaves the check to the Unix
// permission bits), so the attribute is checked here as well.
std::string WhyEdidFileCannotBeRewritten(const std::string& filename) {
  const std::wstring path = FileApiWide(filename);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND
               ? std::string()
               : "it cannot be read (error " + std::to_string(error) + ")";
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "it is a folder";
  if (attributes & FILE_ATTRIBUTE_READONLY) return "the file is read-only";
  FileHandle probe(CreateFileW(path.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe.valid())
    return "it cannot be opened for writing (error " + std::to_string(GetLastError()) + ")";
  return {};
}

bool change_edid_monitor_name(const char* filename, const char* monitorname) {
  if (filename == nullptr || monitorname == nullptr) {
    LogMessage("change_edid_monitor_name: invalid argument (filename or monitorname is null)\n");
    return false;
  }

  std::vector<std::uint8_t> content;
  const std::int64_t count = ReadEdidFile(filename, content);
  if (count == 0 || count % static_cast<std::int64_t>(kEdidBlockSize) != 0 || content.empty()) {
    // ReadEdidFile never reports more than 1 MiB, so the count fits %d.
    LogMessage("read edid file failed, expect 128, buf read %d.", static_cast<int>(count));
    return false;
  }

  const int code = SetEdidMonitorName(content, monitorname);
  if (code == 0) {
    LogMessage("change_edid_monitor_name() failed, code=%d\n", code);
    return false;
  }

  switch (ReplaceFileContents(filename, content)) {
    case ReplaceResult::kOpenFailed:
      LogMessage("Failed to open EDID file for writing: %s\n", filename);
      return false;
    case ReplaceResult::kWriteFailed:
      LogMessage("Failed to write modified EDID content to file: %s\n", filename);
      return false;
    case ReplaceResult::kReplaced:
      break;
  }
  LogMessage("Successfully changed EDID monitor name in file: %s\n", filename);
  return true;
}
