#include "agent/program_rights.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "log/log.h"

namespace {

// Rights that change what runs: its content, its existence, who may do either.
// Writing extended attributes or basic attributes changes neither.
constexpr ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                      DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                      GENERIC_ALL;
// Rights over a folder above it that move it aside, with what it holds, for
// a folder of someone else's making: deleting (renaming) the folder or what
// is in it, or changing who may.
constexpr ACCESS_MASK kMoveRights =
    FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

constexpr const wchar_t* kTrustedInstaller =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

bool IsTrusted(PSID sid, PSID machineOwner) {
  if (IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid))
    return true;
  if (machineOwner != nullptr && EqualSid(sid, machineOwner)) return true;
  PSID installer = nullptr;
  if (!ConvertStringSidToSidW(kTrustedInstaller, &installer)) return false;
  const bool trusted = EqualSid(sid, installer) != FALSE;
  LocalFree(installer);
  return trusted;
}

// "DOMAIN\name", the name alone without a domain, or the SID's text.
std::string AccountName(PSID sid) {
  wchar_t name[256] = {}, domain[256] = {};
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use;
  if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
    return domain[0] != L'\0' ? FormatLogString("%ls\\%ls", domain, name)
                              : FormatLogString("%ls", name);
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return "an unknown account";
  const std::string result = FormatLogString("%ls", text);
  LocalFree(text);
  return result;
}

RightsFinding Unsafe(std::string reason) { return {false, std::move(reason)}; }

}  // namespace

RightsFinding JudgeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID machineOwner,
                                      Reach reach) {
  const ACCESS_MASK rights = reach == Reach::kItself ? kChangeRights : kMoveRights;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr)
    return Unsafe("its owner cannot be read");
  if (!IsTrusted(owner, machineOwner))
    return Unsafe("it is owned by " + AccountName(owner) + ", who may change its rights");

  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
    return Unsafe("its access list cannot be read");
  if (!present || dacl == nullptr) return Unsafe("it has no access list: everyone may change it");

  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(dacl, i, &entry)) return Unsafe("its access list cannot be read");
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;  // for what is created in it, not itself
    const BYTE type = header->AceType;
    if (type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
        type == SYSTEM_AUDIT_ACE_TYPE || type == SYSTEM_ALARM_ACE_TYPE)
      continue;
    if (type != ACCESS_ALLOWED_ACE_TYPE && type != ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
      return Unsafe("its access list holds an entry of a kind not judged here (type " +
                    std::to_string(type) + ")");
    // Both allowed kinds keep the mask and then the SID in the same places.
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & rights) != 0 && !IsTrusted(sid, machineOwner))
      return Unsafe(AccountName(sid) +
                    (reach == Reach::kItself ? " may change it" : " may move it aside"));
  }
  return {true, {}};
}

namespace {

// The owner of the Windows folder, released with LocalFree on the descriptor.
struct MachineOwner {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PSID owner = nullptr;
  MachineOwner() {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    if (GetNamedSecurityInfoW(windows, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
      owner = nullptr;
  }
  ~MachineOwner() {
    if (descriptor != nullptr) LocalFree(descriptor);
  }
  MachineOwner(const MachineOwner&) = delete;
  MachineOwner& operator=(const MachineOwner&) = delete;
};

}  // namespace

RightsFinding JudgePath(const std::wstring& path, Reach reach) {
  // Opened as it is, not as what a junction or link in its place points at:
  // such a link may be pointed anywhere by whoever made it.
  HANDLE object = CreateFileW(
      path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (object == INVALID_HANDLE_VALUE)
    return Unsafe("its rights cannot be read (error " + std::to_string(GetLastError()) + ")");
  BY_HANDLE_FILE_INFORMATION information = {};
  if (GetFileInformationByHandle(object, &information) &&
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    CloseHandle(object);
    return Unsafe("it is a junction or link, which may point anywhere");
  }
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD read = GetSecurityInfo(object, SE_FILE_OBJECT,
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                     nullptr, nullptr, nullptr, nullptr, &descriptor);
  CloseHandle(object);
  if (read != ERROR_SUCCESS)
    return Unsafe("its rights cannot be read (error " + std::to_string(read) + ")");
  const MachineOwner machine;
  RightsFinding finding = JudgeSecurityDescriptor(descriptor, machine.owner, reach);
  LocalFree(descriptor);
  return finding;
}

std::optional<std::string> WhyInstallCanBeChanged(const std::wstring& folder) {
  // A share's own rights are not in the folder's access list, and the local
  // system account does not see an administrator's mapped drives.
  const std::wstring root =
      folder.size() >= 2 && folder[1] == L':' ? folder.substr(0, 2) + L"\\" : std::wstring();
  if (root.empty() || GetDriveTypeW(root.c_str()) == DRIVE_REMOTE)
    return FormatLogString("%ls: ", folder.c_str()) +
           "not a folder of a local drive, whose rights the agent can read";

  const std::vector<std::wstring> objects = {
      folder,
      folder + L"\\displayprep-agent.exe",
      folder + L"\\displayprep.exe",
      folder + L"\\wkex.exe",
      folder + L"\\rent_protect",
      folder + L"\\rent_protect\\zanbyprotect.exe",
  };
  for (std::size_t i = 0; i < objects.size(); ++i) {
    // The folder itself must exist; of what it holds, only what is there counts.
    if (i > 0 && GetFileAttributesW(objects[i].c_str()) == INVALID_FILE_ATTRIBUTES) continue;
    const RightsFinding finding = JudgePath(objects[i], Reach::kItself);
    if (!finding.safe) return FormatLogString("%ls: ", objects[i].c_str()) + finding.reason;
  }
  // Whoever may move a folder above it aside may put a folder of their own
  // making in its place.
  for (std::wstring above = folder;;) {
    const std::size_t slash = above.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash < 2) break;
    above.resize(slash);
    const std::wstring judged = above.size() == 2 ? above + L"\\" : above;
    const RightsFinding finding = JudgePath(judged, Reach::kAbove);
    if (!finding.safe) return FormatLogString("%ls: ", judged.c_str()) + finding.reason;
    if (judged.size() == 3) break;
  }
  return std::nullopt;
}
