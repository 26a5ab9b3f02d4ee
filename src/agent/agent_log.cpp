#include "agent/agent_log.h"

#include <windows.h>
// After windows.h, which they need.
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include "agent/program_rights.h"
#include "log/log_format.h"

AgentLog::AgentLog(std::wstring folder, std::uint64_t maxBytes)
    : folder_(std::move(folder)), maxBytes_(maxBytes) {}

// Made for the agent alone to write: a folder that others may change, or a
// junction made in its place before the agent came, would let them point
// agent.log, which the local system account appends to, at any file of the
// machine (JudgePath opens it as it stands, not where a link points).
bool MakeAgentLogFolder(const std::wstring& folder, std::string* why) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(
          L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)", SDDL_REVISION_1, &descriptor,
          nullptr)) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    CreateDirectoryW(folder.c_str(), &attributes);
    LocalFree(descriptor);
  }
  const RightsFinding finding = JudgePath(folder);
  if (!finding.safe) *why = finding.reason;
  return finding.safe;
}

void AgentLog::Write(const std::string& line) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  const std::string text =
      FormatLogPrefix(t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds) + line +
      "\r\n";
  OutputDebugStringA(("displayprep-agent: " + line + "\n").c_str());

  if (!folderChecked_) {
    folderChecked_ = true;
    std::string why;
    folderUsable_ = MakeAgentLogFolder(folder_, &why);
    if (!folderUsable_)
      OutputDebugStringA(("displayprep-agent: no agent.log: the log folder " + why + "\n").c_str());
  }
  if (!folderUsable_) return;

  const std::wstring file = path();
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
    const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    if (size > 0 && size + text.size() > maxBytes_)
      MoveFileExW(file.c_str(), (file + L".1").c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  // Not through a link: none can be made in a folder only the system and
  // administrators may write, but the agent does not rely on that alone.
  HANDLE h =
      CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(h, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(h);
    return;
  }
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

std::wstring AgentLogFolder() {
  // The known folder, not the environment: Wine hands its services
  // ProgramData=C:\users\Public.
  std::wstring base = L"C:\\ProgramData";
  PWSTR known = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &known) == S_OK && known != nullptr)
    base = known;
  CoTaskMemFree(known);
  return base + L"\\displayprep";
}
